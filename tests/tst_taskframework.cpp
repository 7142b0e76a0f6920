#include "tasks/asyncfunc.h"
#include "tasks/asynctaskspecification.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/eventdispatcherchoice.h"
#include "tasks/rollbackdatalist.h"
#include "tasks/slowfileopfunc.h"
#include "tasks/slowfileopspecification.h"

#include "taskrun.h"

#include <QPointer>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

namespace {

enum class Ending { Finish, Error, User, Never };

// How deep we are inside leaf execute() calls: a composed task must never
// start a subtask from inside another subtask's end signal.
int executeDepth = 0;
int maxExecuteDepth = 0;

// A leaf that ends inside execute() or later when told to, and behaves like
// a download on cancellation when asked to.
class LeafTask : public TaskSpecification
{
    Q_OBJECT
public:
    LeafTask(QObject* parent, double weight, Ending ending = Ending::Finish)
        : TaskSpecification(parent, weight)
        , ending(ending)
    { }

    void execute() override
    {
        ++executeDepth;
        maxExecuteDepth = qMax(maxExecuteDepth, executeDepth);
        ++executions;
        state = Running;
        end(ending);
        --executeDepth;
    }

    void end(Ending how)
    {
        switch (how) {
        case Ending::Finish: finish(); break;
        case Ending::Error: errorCancel(); break;
        case Ending::User: userCancel(); break;
        case Ending::Never: break;
        }
    }

    void userCanceled() override
    {
        TaskSpecification::userCanceled();
        if (stopsOnCancel && state == Running)
            userCancel();
    }

    void handleOtherTaskCancelled(TaskSpecification* other) override
    {
        ++otherCancelledCalls;
        if (stopsOnCancel && other != this)
            errorCancel();
    }

    void timeTick(quint64& done, quint64& total, quint64& speed, bool& downloading) override
    {
        done = tickDone;
        total = tickTotal;
        speed = tickSpeed;
        downloading = tickDownloading;
    }

    Ending ending;
    bool stopsOnCancel = false;
    int executions = 0;
    int otherCancelledCalls = 0;
    quint64 tickDone = 0;
    quint64 tickTotal = 0;
    quint64 tickSpeed = 0;
    bool tickDownloading = false;
};

// A composed task over a prepared list of leaves, as the real composed
// tasks build theirs.
class GroupTask : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    GroupTask(int maxParallel, double weight, QObject* parent = nullptr)
        : ComposedTaskSpecification(maxParallel, weight, parent)
    { }

    LeafTask* addLeaf(double weight, Ending ending = Ending::Finish)
    {
        auto* leaf = new LeafTask(this, weight, ending);
        addSubTask(leaf);
        return leaf;
    }

    void execute() override { executeSubTasks(); }
};

// A composed task whose leaves are made only as they start, as the file
// lists make theirs: one may fail, the last may run until cancelled.
class LazyGroup : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    LazyGroup(int count, int failAt, bool lastRuns)
        : ComposedTaskSpecification(3, 1.0, nullptr)
        , count(count)
        , failAt(failAt)
        , lastRuns(lastRuns)
    {
        setDiscardFinishedSubTasks(true);
    }

    void execute() override
    {
        addLazySubTasks(count);
        executeSubTasks();
    }

    TaskSpecification* makeSubTask(qsizetype index) override
    {
        const Ending ending = index == failAt ? Ending::Error
            : index == count - 1 && lastRuns  ? Ending::Never
                                              : Ending::Finish;
        auto* leaf = new LeafTask(this, 1.0 / count, ending);
        leaf->stopsOnCancel = true;
        maxAlive = qMax(maxAlive, ++alive);
        ++made;
        // Not through this task, which cuts its own links to a finished leaf.
        connect(leaf, &QObject::destroyed, &counter, [this] { --alive; });
        connect(leaf, &TaskSpecification::finished, &counter, [this] { ++finishedLeaves; });
        return leaf;
    }

    int count;
    int failAt;
    bool lastRuns;
    int made = 0;
    int alive = 0;
    int maxAlive = 0;
    int finishedLeaves = 0;
    QObject counter;
};

class ResultFunc : public ASyncFunc
{
    Q_OBJECT
public:
    ResultFunc(bool result, qreal reportedProgress, QSemaphore* gate, QThread** ranOn = nullptr)
        : result(result)
        , reportedProgress(reportedProgress)
        , gate(gate)
        , ranOn(ranOn)
    { }

protected:
    bool run() override
    {
        if (ranOn)
            *ranOn = QThread::currentThread();
        if (gate)
            gate->acquire();
        if (reportedProgress >= 0)
            Q_EMIT progress(reportedProgress);
        return result;
    }

private:
    bool result;
    qreal reportedProgress;
    QSemaphore* gate;
    QThread** ranOn;
};

class ResultTask : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    ResultTask(double weight, bool result)
        : ASyncTaskSpecification(nullptr, weight)
        , result(result)
    { }

    ASyncFunc* createFunction() override { return new ResultFunc(result, reportedProgress, gate, &ranOn); }
    bool isQuickWork() const override { return quick; }

    bool result;
    qreal reportedProgress = -1;
    QSemaphore* gate = nullptr;
    bool quick = false;
    QThread* ranOn = nullptr;
};

class FileOpTask : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    FileOpTask(RollbackDataList* journal, bool result)
        : SlowFileOpSpecification(QStringLiteral("copy failed"), journal, QStringLiteral("/source"),
            QStringLiteral("/target"), nullptr, 0.5)
        , result(result)
    { }

    ASyncFunc* createFunction() override { return new ResultFunc(result, -1, nullptr); }

    bool result;
};

} // namespace

class TestTaskFramework : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { executeDepth = maxExecuteDepth = 0; }

    void leafSignals();
    void discardingKeepsOrderAndLinks();
    void dispatcherChoiceLeavesNoTrace_data();
    void dispatcherChoiceLeavesNoTrace();
    void progressAcrossTwoLevels();
    void composedEndsExactlyOnce_data();
    void composedEndsExactlyOnce();
    void sequentialStartsOnlyFromEventLoop();
    void parallelLimitIsKept();
    void stateFromSubTasks_data();
    void stateFromSubTasks();
    void otherTaskCancelledOncePerRun();
    void userCancelWithTwoDownloads();
    void emptyAndZeroParallel();
    void timeTickSums();
    void lazySubTasks_data();
    void lazySubTasks();
    void discardedSubTasksKeepTheirShare_data();
    void discardedSubTasksKeepTheirShare();
    void clearedSubTasksAreDisposed();
    void runsAgainAfterCancelledRun();

    void asyncResult_data();
    void asyncResult();
    void asyncResultAfterResetIsIgnored();
    void asyncResultOfEarlierRunDoesNotEndTheNext();
    void slowFileOpJournal();
};

void TestTaskFramework::leafSignals()
{
    LeafTask task(nullptr, 0.4, Ending::Never);
    TaskSpies spies(&task);
    QSignalSpy order(&task, &TaskSpecification::finished);

    task.setProgress(0.5);
    QCOMPARE(task.progress, 0.2);
    QCOMPARE(spies.progress.takeFirst().at(0).toReal(), 0.2);

    task.execute();
    task.end(Ending::Error);
    QCOMPARE(spies.canceled.count(), 1);
    QCOMPARE(spies.progress.count(), 0);
    QCOMPARE(task.state, ErrorCanceled);

    // A task that is not running ignores news of a sibling, and so does the
    // cancelled task itself.
    task.onOtherTaskCancelled(&task);
    LeafTask other(nullptr, 0.1);
    task.onOtherTaskCancelled(&other);
    QCOMPARE(task.otherCancelledCalls, 0);

    task.userCanceled();
    QVERIFY(task.cancelRequested);
    task.reset();
    QCOMPARE(task.state, Idle);
    QVERIFY(!task.cancelRequested);
    QCOMPARE(spies.progress.takeLast().at(0).toReal(), 0.0);

    // finish() drives the progress to the full weight before `finished`.
    int progressAtFinish = -1;
    connect(
        &task, &TaskSpecification::finished, this, [&] { progressAtFinish = int(spies.progress.count()); });
    task.execute();
    task.end(Ending::Finish);
    QCOMPARE(progressAtFinish, 1);
    QCOMPARE(spies.progress.last().at(0).toReal(), 0.4);
}

void TestTaskFramework::progressAcrossTwoLevels()
{
    GroupTask root(1, 1.0);
    auto* inner = new GroupTask(1, 0.5, &root);
    root.addSubTask(inner);
    auto* rest = root.addLeaf(0.5, Ending::Never);
    LeafTask* a = inner->addLeaf(0.25, Ending::Never);
    LeafTask* b = inner->addLeaf(0.75, Ending::Never);
    QSignalSpy rootProgress(&root, &TaskSpecification::updateProgress);

    a->setProgress(1.0);
    b->setProgress(0.5);
    QCOMPARE(inner->progress, 0.625 * 0.5);
    QCOMPARE(root.progress, 0.3125);
    rest->setProgress(0.5);
    QCOMPARE(root.progress, 0.5625);
    QCOMPARE(rootProgress.last().at(0).toReal(), 0.5625);
}

void TestTaskFramework::composedEndsExactlyOnce_data()
{
    QTest::addColumn<int>("failingIndex");
    QTest::addColumn<int>("ending");
    QTest::addColumn<bool>("later");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<int>("expectedStarts");

    const struct
    {
        Ending ending;
        const char* name;
        int state;
    } endings[] = {
        { Ending::Finish, "finish", Finished },
        { Ending::Error, "error", ErrorCanceled },
        { Ending::User, "user", UserCanceled },
    };
    for (int index = 0; index < 3; ++index) {
        for (const auto& e : endings) {
            for (bool later : { false, true }) {
                const int starts = e.ending == Ending::Finish ? 3 : index + 1;
                QTest::addRow("%s at %d, %s", e.name, index, later ? "later" : "in execute")
                    << index << int(e.ending) << later << e.state << starts;
            }
        }
    }
}

void TestTaskFramework::composedEndsExactlyOnce()
{
    QFETCH(int, failingIndex);
    QFETCH(int, ending);
    QFETCH(bool, later);
    QFETCH(int, expectedState);
    QFETCH(int, expectedStarts);

    GroupTask group(1, 1.0);
    QList<LeafTask*> leaves;
    for (int i = 0; i < 3; ++i)
        leaves << group.addLeaf(1.0 / 3);
    LeafTask* chosen = leaves.at(failingIndex);
    chosen->ending = later ? Ending::Never : Ending(ending);
    TaskSpies spies(&group);

    group.execute();
    if (later) {
        QTRY_COMPARE(chosen->state, Running);
        chosen->end(Ending(ending));
    }
    QTRY_COMPARE(spies.ends(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(spies.ends(), 1);
    QCOMPARE(int(group.state), expectedState);
    int starts = 0;
    for (LeafTask* leaf : leaves)
        starts += leaf->executions;
    QCOMPARE(starts, expectedStarts);
}

void TestTaskFramework::sequentialStartsOnlyFromEventLoop()
{
    GroupTask group(1, 1.0);
    QList<LeafTask*> leaves;
    for (int i = 0; i < 3; ++i)
        leaves << group.addLeaf(1.0 / 3);
    QList<int> startOrder;
    for (int i = 0; i < 3; ++i)
        connect(leaves[i], &TaskSpecification::finished, this, [&startOrder, i] { startOrder << i; });
    TaskSpies spies(&group);

    group.execute();
    QCOMPARE(leaves[0]->executions, 0); // nothing starts before the event loop runs
    QVERIFY(spies.finished.wait(1000));
    QCOMPARE(startOrder, QList<int>({ 0, 1, 2 }));
    QCOMPARE(maxExecuteDepth, 1);
    for (const LeafTask* leaf : std::as_const(leaves))
        QCOMPARE(leaf->state, Finished);
}

void TestTaskFramework::parallelLimitIsKept()
{
    GroupTask group(2, 1.0);
    QList<LeafTask*> leaves;
    for (int i = 0; i < 5; ++i)
        leaves << group.addLeaf(0.2, Ending::Never);
    TaskSpies spies(&group);

    auto running = [&] {
        int n = 0;
        for (LeafTask* leaf : leaves)
            n += leaf->state == Running ? 1 : 0;
        return n;
    };
    group.execute();
    QTRY_COMPARE(running(), 2);
    for (int next = 2; next < 5; ++next) {
        QCOMPARE(leaves[next]->executions, 0);
        leaves[next - 2]->end(Ending::Finish);
        QCOMPARE(running(), 1); // the next start waits for the event loop
        QTRY_COMPARE(leaves[next]->state, Running);
        QCOMPARE(running(), 2);
    }
    leaves[3]->end(Ending::Finish);
    leaves[4]->end(Ending::Finish);
    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(group.progress, 1.0);
}

void TestTaskFramework::stateFromSubTasks_data()
{
    QTest::addColumn<QList<int>>("states");
    QTest::addColumn<bool>("cancelRequested");
    QTest::addColumn<bool>("subTaskCanceled");
    QTest::addColumn<int>("expected");

    QTest::newRow("no subtasks") << QList<int>() << false << false << int(Finished);
    QTest::newRow("all finished") << QList<int> { Finished, Finished } << false << false << int(Finished);
    QTest::newRow("error beside user")
        << QList<int> { UserCanceled, ErrorCanceled } << false << true << int(ErrorCanceled);
    QTest::newRow("user beside finished")
        << QList<int> { Finished, UserCanceled } << false << true << int(UserCanceled);
    QTest::newRow("unstarted after request")
        << QList<int> { Finished, Idle } << true << false << int(UserCanceled);
    QTest::newRow("unstarted after cancel")
        << QList<int> { Finished, Idle } << false << true << int(ErrorCanceled);
    QTest::newRow("unstarted, no cancel") << QList<int> { Finished, Idle } << false << false << int(Running);
}

void TestTaskFramework::stateFromSubTasks()
{
    QFETCH(QList<int>, states);
    QFETCH(bool, cancelRequested);
    QFETCH(bool, subTaskCanceled);
    QFETCH(int, expected);

    GroupTask group(1, 1.0);
    LeafTask* first = nullptr;
    for (int s : states) {
        LeafTask* leaf = group.addLeaf(0.1);
        leaf->state = TaskState(s);
        if (!first)
            first = leaf;
    }
    group.cancelRequested = cancelRequested;
    // A reported cancellation marks the run; no leaf is running, so none reacts to it.
    if (subTaskCanceled)
        Q_EMIT first->canceled(first);
    QCOMPARE(int(group.getStateFromSubTasks()), expected);
}

void TestTaskFramework::otherTaskCancelledOncePerRun()
{
    GroupTask group(3, 1.0);
    LeafTask* a = group.addLeaf(0.3, Ending::Never);
    LeafTask* b = group.addLeaf(0.3, Ending::Never);
    LeafTask* c = group.addLeaf(0.4, Ending::Never);
    QSignalSpy news(&group, &TaskSpecification::otherTaskCancelled);
    TaskSpies spies(&group);

    group.execute();
    QTRY_COMPARE(c->state, Running);
    a->end(Ending::Error);
    QCOMPARE(news.count(), 1);
    QCOMPARE(news.at(0).at(0).value<TaskSpecification*>(), a);
    QCOMPARE(a->otherCancelledCalls, 0);
    QCOMPARE(b->otherCancelledCalls, 1);
    b->end(Ending::Error);
    c->end(Ending::Finish);
    QCOMPARE(news.count(), 1);
    QTRY_COMPARE(spies.ends(), 1);
    QCOMPARE(group.state, ErrorCanceled);
}

void TestTaskFramework::userCancelWithTwoDownloads()
{
    GroupTask group(2, 1.0);
    LeafTask* first = group.addLeaf(0.5, Ending::Never);
    LeafTask* second = group.addLeaf(0.5, Ending::Never);
    first->stopsOnCancel = second->stopsOnCancel = true;
    TaskSpies spies(&group);

    group.execute();
    QTRY_COMPARE(second->state, Running);
    group.userCanceled();
    QCOMPARE(first->state, UserCanceled);
    QCOMPARE(second->state, ErrorCanceled);
    QCOMPARE(spies.ends(), 1);
    QCOMPARE(group.state, ErrorCanceled);
}

void TestTaskFramework::emptyAndZeroParallel()
{
    GroupTask empty(1, 0.3);
    TaskSpies emptySpies(&empty);
    empty.execute();
    QCOMPARE(emptySpies.finished.count(), 1);
    QCOMPARE(emptySpies.progress.last().at(0).toReal(), 0.3);

    GroupTask none(0, 1.0);
    LeafTask* leaf = none.addLeaf(1.0);
    TaskSpies noneSpies(&none);
    none.execute();
    QCOMPARE(noneSpies.canceled.count(), 1);
    QCOMPARE(none.state, ErrorCanceled);
    QCoreApplication::processEvents();
    QCOMPARE(leaf->executions, 0);
    QCOMPARE(noneSpies.ends(), 1);
}

void TestTaskFramework::timeTickSums()
{
    GroupTask group(1, 1.0);
    LeafTask* a = group.addLeaf(0.5);
    LeafTask* b = group.addLeaf(0.25);
    LeafTask* unknownSize = group.addLeaf(0.25);
    a->tickDone = 10;
    a->tickTotal = 100;
    a->tickSpeed = 5;
    b->tickDone = 20;
    b->tickTotal = 50;
    b->tickSpeed = 7;
    b->tickDownloading = true;
    unknownSize->tickDone = 999;
    unknownSize->tickSpeed = 11;

    quint64 done = 1, total = 2, speed = 3;
    bool downloading = true;
    group.timeTick(done, total, speed, downloading);
    QCOMPARE(done, quint64(31));
    QCOMPARE(total, quint64(152));
    QCOMPARE(speed, quint64(26));
    QVERIFY(downloading);

    b->tickDownloading = false;
    group.timeTick(done, total, speed, downloading);
    QVERIFY(!downloading);
}

void TestTaskFramework::lazySubTasks_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("cancelAt"); // the leaf at whose start the user cancels; -1: never
    QTest::addColumn<bool>("cancelLater"); // from the event loop rather than at once
    QTest::addColumn<bool>("lastRuns");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<int>("made");

    const int n = 10000;
    QTest::newRow("all finish") << -1 << -1 << false << false << int(Finished) << n;
    QTest::newRow("one fails in the middle") << 5000 << -1 << false << false << int(ErrorCanceled) << 5001;
    QTest::newRow("the last fails") << n - 1 << -1 << false << false << int(ErrorCanceled) << n;
    QTest::newRow("cancelled before the last starts")
        << -1 << n - 2 << false << false << int(UserCanceled) << n - 1;
    QTest::newRow("cancelled as the last starts") << -1 << n - 1 << false << true << int(UserCanceled) << n;
    // All the work was done before the request was heard.
    QTest::newRow("cancelled after the last finished") << -1 << n - 1 << true << false << int(Finished) << n;
}

void TestTaskFramework::lazySubTasks()
{
    QFETCH(int, failAt);
    QFETCH(int, cancelAt);
    QFETCH(bool, cancelLater);
    QFETCH(bool, lastRuns);
    QFETCH(int, outcome);
    QFETCH(int, made);

    LazyGroup group(10000, failAt, lastRuns);
    int started = 0;
    connect(&group, &ComposedTaskSpecification::subTaskStarting, this, [&](TaskSpecification* leaf) {
        if (started++ != cancelAt)
            return;
        if (cancelLater)
            QMetaObject::invokeMethod(
                &group, [&group] { group.userCanceled(); }, Qt::QueuedConnection);
        else
            group.userCanceled();
        // A leaf that keeps running hears the request once it runs.
        if (lastRuns)
            QMetaObject::invokeMethod(
                leaf, [leaf] { leaf->userCanceled(); }, Qt::QueuedConnection);
    });
    const TaskRun run = runTask(group);

    QCOMPARE(int(run.state), outcome);
    QCOMPARE(group.made, made);
    QVERIFY2(group.maxAlive <= 8, qPrintable(QString::number(group.maxAlive)));
    // The released leaves keep their share of the progress.
    QVERIFY(qFuzzyCompare(1.0 + group.progress, 1.0 + group.finishedLeaves / 10000.0));
    QCOMPARE(group.finishedLeaves == 10000, outcome == Finished);
}

void TestTaskFramework::discardedSubTasksKeepTheirShare_data()
{
    QTest::addColumn<int>("lastEnding");
    QTest::addColumn<int>("outcome");

    QTest::newRow("all finish") << int(Ending::Finish) << int(Finished);
    QTest::newRow("the last fails") << int(Ending::Error) << int(ErrorCanceled);
    QTest::newRow("the last is cancelled by the user") << int(Ending::User) << int(UserCanceled);
}

void TestTaskFramework::discardedSubTasksKeepTheirShare()
{
    QFETCH(int, lastEnding);
    QFETCH(int, outcome);

    GroupTask group(2, 0.5);
    group.setDiscardFinishedSubTasks(true);
    QPointer<LeafTask> first = group.addLeaf(0.25);
    QPointer<LeafTask> second = group.addLeaf(0.25);
    LeafTask* last = group.addLeaf(0.5, Ending::Never);
    first->tickDone = first->tickTotal = 100;
    second->tickDone = 999; // no size known: its count is left out, as while it ran
    last->tickDone = 10;
    last->tickTotal = 40;
    // Bytes that came after a subtask's last tick: a file fetched within a
    // second counts in the rate once.
    first->tickSpeed = 100;
    second->tickSpeed = 50;
    last->tickSpeed = 7;
    TaskSpies spies(&group);
    group.execute();

    QTRY_COMPARE(group.subTasks(), QList<TaskSpecification*> { last });
    QTRY_VERIFY(!first && !second);
    QCOMPARE(group.progress, 0.25);
    quint64 done = 0, total = 0, speed = 0;
    bool downloading = false;
    group.timeTick(done, total, speed, downloading);
    QCOMPARE(done, quint64(110));
    QCOMPARE(total, quint64(140));
    QCOMPARE(speed, quint64(157));
    speed = 0;
    group.timeTick(done, total, speed, downloading);
    QCOMPARE(speed, quint64(7));

    last->end(Ending(lastEnding));
    QTRY_COMPARE(spies.ends(), 1);
    QCOMPARE(int(group.state), outcome);
    QCOMPARE(group.progress, outcome == Finished ? 0.5 : 0.25);
}

void TestTaskFramework::clearedSubTasksAreDisposed()
{
    GroupTask group(1, 1.0);
    QPointer<LeafTask> leaf = group.addLeaf(1.0, Ending::Never);
    group.execute();
    QTRY_COMPARE(leaf->state, Running);
    group.clearSubTasks();
    QVERIFY(group.subTasks().isEmpty() && group.runningSubTaskCount() == 0);
    // A discarded subtask no longer reaches its former parent.
    TaskSpies spies(&group);
    leaf->end(Ending::Error);
    QCOMPARE(spies.ends(), 0);
    QTRY_VERIFY(leaf.isNull());
}

void TestTaskFramework::runsAgainAfterCancelledRun()
{
    // The reset every real composed task uses: fresh subtasks per run.
    GroupTask group(1, 1.0);
    group.addLeaf(1.0, Ending::Error);
    TaskSpies spies(&group);
    group.execute();
    QTRY_COMPARE(spies.canceled.count(), 1);

    group.clearSubTasks();
    group.TaskSpecification::reset();
    group.addLeaf(1.0, Ending::Finish);
    group.execute();
    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(spies.ends(), 2);
}

void TestTaskFramework::asyncResult_data()
{
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("quick");
    QTest::newRow("success") << true << false;
    QTest::newRow("failure") << false << false;
    QTest::newRow("quick success") << true << true;
    QTest::newRow("quick failure") << false << true;
}

void TestTaskFramework::asyncResult()
{
    QFETCH(bool, result);
    QFETCH(bool, quick);
    ResultTask task(0.2, result);
    task.quick = quick;
    if (result)
        task.reportedProgress = 0.5;
    TaskSpies spies(&task);
    task.execute();
    QCOMPARE(task.state, Running);
    // Quick work runs at once on the task's thread, but its outcome still
    // arrives through the event loop, as from the pool.
    if (quick)
        QCOMPARE(task.ranOn, QThread::currentThread());
    QCOMPARE(spies.ends(), 0);
    QCOMPARE(spies.progress.count(), 0);
    QTRY_COMPARE(spies.ends(), 1);
    if (!quick)
        QVERIFY(task.ranOn != QThread::currentThread());
    QCOMPARE(task.state, result ? Finished : ErrorCanceled);
    QCOMPARE(task.progress, result ? 0.2 : 0.0);
    // The body's progress is scaled to the task's weight.
    if (result)
        QCOMPARE(spies.progress.first().at(0).toReal(), 0.1);
}

void TestTaskFramework::asyncResultAfterResetIsIgnored()
{
    ResultTask task(1.0, true);
    TaskSpies spies(&task);
    task.execute();
    task.reset(); // waits for the body; its result is still queued
    QCOMPARE(task.state, Idle);
    QCoreApplication::processEvents();
    QCOMPARE(spies.ends(), 0);
    QCOMPARE(task.state, Idle);
}

void TestTaskFramework::asyncResultOfEarlierRunDoesNotEndTheNext()
{
    ResultTask task(1.0, false);
    TaskSpies spies(&task);
    task.execute();
    task.reset();

    QSemaphore gate;
    task.result = true;
    task.gate = &gate;
    task.execute(); // the first run's failure is still queued
    QCoreApplication::processEvents();
    QCOMPARE(spies.ends(), 0);
    QCOMPARE(task.state, Running);
    gate.release();
    QTRY_COMPARE(spies.finished.count(), 1);
    QCOMPARE(spies.canceled.count(), 0);
}

void TestTaskFramework::slowFileOpJournal()
{
    RollbackDataList journal;
    FileOpTask ok(&journal, true);
    TaskSpies okSpies(&ok);
    ok.execute();
    QTRY_COMPARE(okSpies.finished.count(), 1);
    QCOMPARE(journal.records().size(), 1);
    QCOMPARE(journal.records().at(0).operation, RollbackData::CreateFile);
    QCOMPARE(journal.records().at(0).path(), QStringLiteral("/target"));

    FileOpTask unjournalled(nullptr, true);
    TaskSpies unjournalledSpies(&unjournalled);
    unjournalled.execute();
    QTRY_COMPARE(unjournalledSpies.finished.count(), 1);

    FileOpTask failing(&journal, false);
    QSignalSpy messages(&failing, &TaskSpecification::message);
    QList<QString> order;
    connect(&failing, &TaskSpecification::message, this, [&] { order << QStringLiteral("message"); });
    connect(&failing, &TaskSpecification::canceled, this, [&] { order << QStringLiteral("canceled"); });
    failing.execute();
    QTRY_COMPARE(order.size(), 2);
    QCOMPARE(order, QList<QString>({ QStringLiteral("message"), QStringLiteral("canceled") }));
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("copy failed"));
    QCOMPARE(journal.records().size(), 1);
}

void TestTaskFramework::discardingKeepsOrderAndLinks()
{
    GroupTask group(6, 1.0);
    group.setDiscardFinishedSubTasks(true);
    QList<LeafTask*> leaves;
    for (int i = 0; i < 6; ++i)
        leaves.append(group.addLeaf(1.0 / 6, Ending::Never));
    group.execute();
    QTRY_COMPARE(leaves.last()->state, Running);
    const auto remaining = [&](std::initializer_list<int> indexes) {
        QList<TaskSpecification*> expected;
        for (int i : indexes)
            expected.append(leaves.at(i));
        return group.subTasks() == expected;
    };
    // Near the front, past the middle, and the very first.
    leaves.at(1)->end(Ending::Finish);
    QVERIFY(remaining({ 0, 2, 3, 4, 5 }));
    leaves.at(4)->end(Ending::Finish);
    QVERIFY(remaining({ 0, 2, 3, 5 }));
    leaves.at(0)->end(Ending::Finish);
    QVERIFY(remaining({ 2, 3, 5 }));

    // Each remaining subtask still hears of a sibling's failure; the
    // discarded ones do not.
    for (LeafTask* leaf : std::as_const(leaves))
        leaf->otherCancelledCalls = 0;
    leaves.at(3)->end(Ending::Error);
    QCOMPARE(leaves.at(2)->otherCancelledCalls, 1);
    QCOMPARE(leaves.at(5)->otherCancelledCalls, 1);
    QCOMPARE(leaves.at(0)->otherCancelledCalls + leaves.at(1)->otherCancelledCalls
            + leaves.at(4)->otherCancelledCalls,
        0);
}

void TestTaskFramework::dispatcherChoiceLeavesNoTrace_data()
{
    QTest::addColumn<QByteArray>("userSetting");
    QTest::newRow("not set") << QByteArray();
    QTest::newRow("set by the user") << QByteArray("0");
    QTest::newRow("set empty by the user") << QByteArray("");
}

void TestTaskFramework::dispatcherChoiceLeavesNoTrace()
{
    QFETCH(QByteArray, userSetting);
    const char* name = "QT_NO_GLIB";
    const QByteArray saved = qgetenv(name);
    const bool wasSet = qEnvironmentVariableIsSet(name);
    const auto restore = qScopeGuard([&] { wasSet ? void(qputenv(name, saved)) : void(qunsetenv(name)); });
    if (userSetting.isNull())
        qunsetenv(name);
    else
        qputenv(name, userSetting);

    EventDispatcherChoice choice;
    // The user's own setting is never overridden.
    QCOMPARE(qgetenv(name), userSetting.isNull() ? QByteArray("1") : userSetting);
    choice.applicationCreated();
    // Programs started later see what the user set, or nothing.
    QCOMPARE(qEnvironmentVariableIsSet(name), !userSetting.isNull());
    QCOMPARE(qgetenv(name), userSetting.isNull() ? QByteArray() : userSetting);
}

QTEST_MAIN(TestTaskFramework)
#include "tst_taskframework.moc"
