#include "app/consolefrontend.h"

#include "app/configcheck.h"
#include "app/configuration.h"
#include "app/consoleoutput.h"
#include "app/exitcode.h"
#include "app/runtracker.h"
#include "app/summaryreport.h"
#include "manifest/outsidetext.h"
#include "update/updateengine.h"

ConsoleFrontEnd::ConsoleFrontEnd(Configuration& config, RunTracker* tracker, QIODevice* out, QIODevice* err,
    int terminalFd, QObject* parent)
    : QObject(parent)
    , config(config)
    , engine(new UpdateEngine(config.layout(), config.settings(), this))
    , tracker(tracker)
    , output(new ConsoleOutput(tracker, out, err, terminalFd, this))
{
    tracker->follow(engine);
    connect(&config, &Configuration::message, tracker, &RunTracker::addLine);
    connect(&config, &Configuration::fatalError, tracker, &RunTracker::addError);
    connect(tracker, &RunTracker::logged, this, [this](const QString& line) { failure.note(line); });
    connect(engine, &UpdateEngine::fatalError, this, [this] { end(ExitCode::Failed); });
    connect(engine, &UpdateEngine::fatalConfigError, this, [this] { end(ExitCode::Failed); });
    connect(engine, &UpdateEngine::updateFinished, this, &ConsoleFrontEnd::onUpdateFinished);
    connect(engine, &UpdateEngine::updateCanceled, this, &ConsoleFrontEnd::onUpdateCanceled);
    config.setRetryPrompt([this] { return retryVersionQuery(); });
}

int ConsoleFrontEnd::targetVersion() const
{
    return config.updateTypeDesc.version;
}

bool ConsoleFrontEnd::retryVersionQuery()
{
    if (retriesUsed >= retries) {
        queryGivenUp = true;
        return false;
    }
    ++retriesUsed;
    output->print(
        tr("The update server did not answer; asking again (%1 of %2).").arg(retriesUsed).arg(retries));
    return true;
}

QString ConsoleFrontEnd::heading() const
{
    const UpdateTypeDesc& target = config.updateTypeDesc;
    QString channel;
    switch (target.channel) {
    case Stable: channel = tr("Stable"); break;
    case Beta: channel = tr("Beta"); break;
    case Alpha: channel = tr("Alpha"); break;
    }
    if (target.versionLabel.isEmpty())
        return tr("Voxmeadow 3 (%1): version %2 on the %3 channel")
            .arg(target.updateType)
            .arg(target.version)
            .arg(channel);
    return tr("Voxmeadow 3 (%1): %2, version %3 on the %4 channel")
        .arg(target.updateType, OutsideText::escaped(target.versionLabel, OutsideText::EscapeBreaks))
        .arg(target.version)
        .arg(channel);
}

void ConsoleFrontEnd::start(const QStringList& arguments, int retries)
{
    // An unusable setting of update.ini is reported by the engine as soon as
    // the event loop runs, and ends everything before anything goes out
    // over the network without the configured proxy.
    if (ended || !config.settings().problem().isEmpty())
        return;
    const QString problem = ConfigCheck::firstProblem(config.settings(), config.layout());
    if (!problem.isEmpty()) {
        tracker->addError(problem);
        end(ExitCode::Failed);
        return;
    }
    this->retries = retries;
    if (!config.parseCommandLineOptions(arguments)) {
        // Through the tracker: the log and the JSON stream have it too.
        if (queryGivenUp)
            tracker->addError(tr("The update server did not answer: the current version is unknown."));
        end(queryGivenUp ? ExitCode::Unknown : ExitCode::Failed);
        return;
    }
    output->print(heading());
    if (!config.declinedOffer.isEmpty()) {
        output->print(config.declinedOffer);
        end(ExitCode::Done);
        return;
    }
    if (!config.offer.heldBackNote().isEmpty())
        output->print(config.offer.heldBackNote());
    if (!config.freshnessNote.isEmpty())
        output->print(config.freshnessNote);
    engine->setFullCheck(config.fullCheck);
    // A failure here has been reported through the engine's signals.
    if (!engine->initialize(config.updateTypeDesc)) {
        end(ExitCode::Failed);
        return;
    }
    runStarted = true;
    Q_EMIT runActiveChanged(true);
    engine->startUpdate();
}

void ConsoleFrontEnd::cancel()
{
    if (!engine->busy() || cancelRequested)
        return;
    cancelRequested = true;
    output->print(tr("Cancelling the update..."));
    engine->cancelUpdate();
}

void ConsoleFrontEnd::onUpdateFinished()
{
    output->finish();
    if (cancelRequested)
        output->print(tr("The update was too far on to be cancelled: it is complete."));
    output->print(
        SummaryReport::text(engine->summary(), config.updateTypeDesc.version, config.fullCheck).trimmed());
    end(ExitCode::Done);
}

void ConsoleFrontEnd::onUpdateCanceled()
{
    output->finish();
    if (cancelRequested) {
        output->print(tr("The update was cancelled; the installation is as it was."));
        end(ExitCode::Canceled);
        return;
    }
    tracker->addError(failure.sentence() + QLatin1Char(' ') + tr("The installation is as it was."));
    end(ExitCode::Failed);
}

void ConsoleFrontEnd::end(int exitCode)
{
    if (ended)
        return;
    ended = true;
    output->finish();
    if (runStarted)
        Q_EMIT runActiveChanged(false);
    Q_EMIT finished(exitCode);
}
