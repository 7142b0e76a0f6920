#include "inifilelines.h"

#include "manifest/productiniline.h"

IniFileLines::IniFileLines(const QString& iniPath)
    : reader(iniPath)
{
    reader.open();
}

bool IniFileLines::next(ProductIniEntry* entry)
{
    ProductIniReader::Line line;
    while (reader.next(&line)) {
        if (line.section != ProductIniLine::deleteSection()
            && ProductIniLine::parseFileLine(line.section, line.key, line.value, entry)
                == ProductIniLine::LineError::None)
            return true;
    }
    return false;
}
