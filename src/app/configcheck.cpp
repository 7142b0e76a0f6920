#include "app/configcheck.h"

#include "transfer/mirrorsini.h"

QString ConfigCheck::firstProblem(const UpdateSettings& settings, const InstallationLayout& layout)
{
    const QString settingsProblem = settings.problem();
    return settingsProblem.isEmpty() ? MirrorsIni::read(layout.mirrorsFile()).problems.value(0)
                                     : settingsProblem;
}

QStringList ConfigCheck::problems(const UpdateSettings& settings, const InstallationLayout& layout)
{
    QStringList found;
    const QString settingsProblem = settings.problem();
    const QString name = InstallationLayout::settingsFileName();
    if (settingsProblem.contains(name))
        found.append(settingsProblem);
    else if (!settingsProblem.isEmpty())
        found.append(name + QStringLiteral(": ") + settingsProblem);
    return found + MirrorsIni::read(layout.mirrorsFile()).problems;
}
