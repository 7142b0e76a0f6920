#ifndef PROGRESSLINE_H
#define PROGRESSLINE_H

#include "app/runtracker.h"

#include <QCoreApplication>
#include <QString>

// The one line that tells a person on a console how far an update is:
// step, percentage, files and bytes done of their totals, rate and time left.
class ProgressLine
{
    Q_DECLARE_TR_FUNCTIONS(ProgressLine)

public:
    static QString format(const RunTracker::Figures& figures);
    // "12.3 MB", as the locale writes numbers.
    static QString bytes(quint64 count);
    // "1:05:09", "4:05" or "0:09".
    static QString duration(qint64 seconds);
};

#endif
