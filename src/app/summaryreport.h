#ifndef SUMMARYREPORT_H
#define SUMMARYREPORT_H

#include "update/runsummary.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>

// What a finished run did, as the last lines of a console and as the
// summary of the JSON stream's result.
class SummaryReport
{
    Q_DECLARE_TR_FUNCTIONS(SummaryReport)

public:
    // After a run that installed `version`; `fullCheck`: every file was read.
    static QString text(const RunSummary& summary, int version, bool fullCheck);
    static QJsonObject json(const RunSummary& summary, int version);
};

#endif
