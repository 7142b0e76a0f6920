#include "commandline.h"

#include "manifest/installationlayout.h"
#include "manifest/outsidetext.h"
#include "update/updatesettings.h"

#include <QCoreApplication>

namespace {

QString invalidVersionFormat()
{
    return QCoreApplication::translate("QObject", "Invalid version nr (%1)");
}

} // namespace

bool CommandLine::takeVersion(const QString& text, const QString& errorFormat)
{
    if (typeDesc.version != 0)
        return true;
    bool ok = false;
    typeDesc.version = text.toInt(&ok, 10);
    if (!ok)
        error = errorFormat.arg(OutsideText::escaped(text, OutsideText::EscapeBreaks));
    return ok;
}

bool CommandLine::takeOfferedVersion(const QString& text, const QString& errorFormat)
{
    if (!takeVersion(text, errorFormat))
        return false;
    if (typeDesc.version > 0)
        return true;
    typeDesc.version = 0;
    error = errorFormat.arg(OutsideText::escaped(text, OutsideText::EscapeBreaks));
    return false;
}

CommandLine CommandLine::parse(const QStringList& givenArgs, const UpdateSettings& settings)
{
    CommandLine line;
    QStringList args = givenArgs;
    line.fullCheck = args.removeAll(QStringLiteral("--verify")) > 0;
    line.checkOnly = args.removeAll(QStringLiteral("--check")) > 0;
    line.typeDesc.channel = settings.channel;
    line.typeDesc.version = settings.channel == Alpha ? settings.alphaRevision : 0;
    const int n = args.size();

    const auto typeAndVersion = [&line, &args](int index) {
        line.typeDesc.updateType = args.at(index);
        line.explicitVersion = true;
        return line.takeVersion(args.at(index + 1), invalidVersionFormat());
    };
    const auto defaults = [&line] {
        if (line.typeDesc.updateType.isEmpty())
            line.typeDesc.updateType = InstallationLayout::defaultUpdateType();
        line.outcome = line.typeDesc.version != 0 ? Ready : NeedsVersionQuery;
    };

    if (n > 1 && args.at(1) == QLatin1String("--nouser")) {
        if (n > 3) {
            if (!typeAndVersion(2))
                return line;
            if (n > 4 && args.at(4) != QLatin1String("#"))
                line.typeDesc.versionLabel = args.at(4);
        }
        if (n > 5)
            line.typeDesc.news = args.at(5);
        line.noUser = true;
        defaults();
        return line;
    }
    if (n == 3) {
        if (typeAndVersion(1))
            line.outcome = Ready;
        return line;
    }
    defaults();
    return line;
}
