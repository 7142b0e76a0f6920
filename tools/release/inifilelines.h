#ifndef INIFILELINES_H
#define INIFILELINES_H

#include "manifest/productinientry.h"
#include "manifest/productinireader.h"

#include <QString>

// The file lines of a product ini, one at a time in the order the updater
// reads them (ProductIniReader's), as the release manifest lists them. The
// delete section is passed over, and so is a line the updater refuses
// (unsafe key, field count): it stops at such a line before it would look
// for the line's place in the manifest.
class IniFileLines
{
public:
    explicit IniFileLines(const QString& iniPath);

    bool next(ProductIniEntry* entry);
    // False when the ini changed or failed while it was read.
    bool intact() const { return reader.intact(); }

private:
    ProductIniReader reader;
};

#endif
