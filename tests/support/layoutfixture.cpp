#include "layoutfixture.h"

#include <QDir>

LayoutFixture::LayoutFixture()
    : root(work.filePath(QStringLiteral("app")))
    , downloads(work.filePath(QStringLiteral("download")))
    , layout(root, downloads)
{
    valid = work.isValid() && QDir().mkpath(root) && QDir().mkpath(downloads);
}
