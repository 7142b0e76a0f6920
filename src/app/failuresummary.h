#ifndef FAILURESUMMARY_H
#define FAILURESUMMARY_H

#include <QCoreApplication>
#include <QString>

// Reads a run's log lines and names, in one translated sentence, why the run
// failed. The first recognised cause wins: what follows it (siblings that
// are stopped, the rollback) is its consequence.
class FailureSummary
{
    Q_DECLARE_TR_FUNCTIONS(FailureSummary)

public:
    void clear();
    void note(const QString& logLine);
    QString sentence() const;
    // The recognised cause for programs: "noMirror", "verification" or
    // "install"; empty when none was recognised.
    QString cause() const { return causeId; }

private:
    QString reason;
    QString causeId;
};

#endif
