#ifndef RUNLOG_H
#define RUNLOG_H

#include "app/runloglines.h"

#include <QString>

class Configuration;
class LogFile;
class RunTracker;
class UpdateEngine;

// Writes the lines that open and close a run into update.log, when there
// is one: the program, the offer once it is decided, and at the end the
// outcome and the summary.
class RunLog
{
public:
    // `file` may be null: then nothing is written.
    RunLog(LogFile* file, RunTracker& tracker);

    void write(const QString& line);
    // The run's configuration and engine, to log the offer and how it ended.
    void follow(Configuration& config, UpdateEngine* engine);
    // `config` and `engine` are null when the run ended before they existed.
    void end(int exitCode, const Configuration* config = nullptr, const UpdateEngine* engine = nullptr);

private:
    enum class Ending { None, Finished, Undone };

    LogFile* file;
    RunLogLines lines;
    Ending ending = Ending::None;
};

#endif
