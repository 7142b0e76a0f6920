#include "taskrun.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

struct TaskEndWatcher::Private
{
    TaskSpecification* task = nullptr;
    int ends = 0;
    QStringList messages;
    QEventLoop loop;
};

TaskEndWatcher::TaskEndWatcher(TaskSpecification& task)
    : d(new Private)
{
    d->task = &task;
    QObject::connect(&task, &TaskSpecification::finished, &d->loop, [this] {
        ++d->ends;
        d->loop.quit();
    });
    QObject::connect(&task, &TaskSpecification::canceled, &d->loop, [this] {
        ++d->ends;
        d->loop.quit();
    });
    QObject::connect(
        &task, &TaskSpecification::message, &d->loop, [this](const QString& text) { d->messages << text; });
}

TaskEndWatcher::~TaskEndWatcher()
{
    delete d;
}

TaskRun TaskEndWatcher::wait(int timeoutMs)
{
    if (d->ends == 0) {
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &d->loop, &QEventLoop::quit);
        timeout.start(timeoutMs);
        d->loop.exec();
    }
    // Lets a second end signal, which would be a fault, show up.
    QCoreApplication::processEvents();
    TaskRun run;
    run.state = d->ends == 1 ? d->task->state : Idle;
    run.messages = d->messages;
    return run;
}

TaskRun runTask(TaskSpecification& task, int timeoutMs)
{
    TaskEndWatcher watcher(task);
    task.execute();
    return watcher.wait(timeoutMs);
}

TaskSpies::TaskSpies(TaskSpecification* task)
    : finished(task, &TaskSpecification::finished)
    , canceled(task, &TaskSpecification::canceled)
    , messages(task, &TaskSpecification::message)
    , progress(task, &TaskSpecification::updateProgress)
{ }

QStringList TaskSpies::messageTexts() const
{
    QStringList texts;
    for (const QList<QVariant>& values : messages)
        texts << values.first().toString();
    return texts;
}

QString TaskSpies::message(int index) const
{
    return messages.at(index < 0 ? messages.count() + index : index).first().toString();
}
