#include "app/runlog.h"

#include "app/configuration.h"
#include "app/logfile.h"
#include "app/runtracker.h"
#include "update/installationrecord.h"
#include "update/updateengine.h"

RunLog::RunLog(LogFile* file, RunTracker& tracker)
    : file(file)
{
    QObject::connect(&tracker, &RunTracker::logged, &tracker,
        [this](const QString& line, RunTracker::LineKind kind) { lines.note(line, kind); });
}

void RunLog::write(const QString& line)
{
    if (file && !line.isEmpty())
        file->write(line);
}

void RunLog::follow(Configuration& config, UpdateEngine* engine)
{
    QObject::connect(&config, &Configuration::offerDecided, &config, [this, &config] {
        write(RunLogLines::offer(
            InstallationRecord::read(config.layout()), config.updateTypeDesc, config.offerSource));
    });
    QObject::connect(engine, &UpdateEngine::updateFinished, engine, [this] { ending = Ending::Finished; });
    QObject::connect(engine, &UpdateEngine::updateCanceled, engine, [this] { ending = Ending::Undone; });
}

void RunLog::end(int exitCode, const Configuration* config, const UpdateEngine* engine)
{
    RunLogLines::End end;
    end.exitCode = exitCode;
    end.finished = ending == Ending::Finished;
    end.undone = ending == Ending::Undone;
    if (config) {
        end.version = config->updateTypeDesc.version;
        end.declined = config->declinedOffer;
    }
    if (engine)
        end.summary = engine->summary();
    write(lines.outcome(end));
    write(RunLogLines::summary(end));
}
