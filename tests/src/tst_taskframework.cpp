// Tests the task tree: composition rules, pool hand-off and the single-file operation bases.
#include "asyncfunc.h"
#include "asynctaskspecification.h"
#include "composedtaskspecification.h"
#include "fastfileoptaskspecification.h"
#include "rollback.h"
#include "slowfileopfunc.h"
#include "slowfileopspecification.h"
#include "testfiles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A leaf the test ends by hand; records what the framework did to it.
class ManualTask : public TaskSpecification
{
public:
    ManualTask(QObject *parent, qreal weight, QStringList *log = nullptr, const QString &name = QString())
        : TaskSpecification(parent, weight), m_log(log), m_name(name)
    {
    }
    void execute() override
    {
        ++executed;
        state = Running;
        if (m_log)
            m_log->append(m_name);
    }
    void abort(TaskSpecification *other) override
    {
        ++aborted;
        abortedBy = other;
    }
    void cancel() override
    {
        TaskSpecification::cancel();
        ++cancelCalls;
    }
    void getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading) override
    {
        done = statusDone;
        total = statusTotal;
        speed = statusSpeed;
        downloading = statusDownloading;
    }
    int executed = 0;
    int aborted = 0;
    int cancelCalls = 0;
    TaskSpecification *abortedBy = nullptr;
    quint64 statusDone = 0, statusTotal = 0, statusSpeed = 0;
    bool statusDownloading = false;

private:
    QStringList *m_log;
    QString m_name;
};

class Composed : public ComposedTaskSpecification
{
public:
    Composed(int maxParallel, QObject *parent = nullptr, qreal weight = 1.0)
        : ComposedTaskSpecification(maxParallel, parent, weight)
    {
    }
    void execute() override { startSubtasks(); }
    void subtasksDone() override
    {
        ++doneCalls;
        ComposedTaskSpecification::subtasksDone();
    }
    int doneCalls = 0;
};

QList<ManualTask *> addManual(Composed *parent, int n, QStringList *log = nullptr)
{
    QList<ManualTask *> tasks;
    for (int i = 0; i < n; ++i) {
        auto *t = new ManualTask(parent, 1.0 / n, log, QString::number(i));
        parent->addSubTask(t);
        tasks.append(t);
    }
    return tasks;
}

class ResultFunc : public ASyncFunc
{
public:
    ResultFunc(bool result, bool talk) : m_result(result), m_talk(talk) {}
    bool run() override
    {
        if (m_talk) {
            emit progress(0.5);
            emit message(QStringLiteral("halfway"));
        }
        return m_result;
    }

private:
    bool m_result;
    bool m_talk;
};

class ResultTask : public ASyncTaskSpecification
{
public:
    ResultTask(bool result, bool talk = false) : ASyncTaskSpecification(nullptr, 0.5), m_result(result), m_talk(talk) {}
    ASyncFunc *createFunc() override { return new ResultFunc(m_result, m_talk); }

private:
    bool m_result;
    bool m_talk;
};

// Writes fixed bytes to the target, or part of them and then fails.
class WriteFunc : public SlowFileOpFunc
{
public:
    WriteFunc(const QString &target, const QByteArray &bytes, bool fail)
        : SlowFileOpFunc(QString(), target), m_bytes(bytes), m_fail(fail)
    {
    }
    bool run() override
    {
        QFile f(m_Target);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(m_fail ? m_bytes.left(m_bytes.size() / 2) : m_bytes);
        return !m_fail;
    }

private:
    QByteArray m_bytes;
    bool m_fail;
};

class WriteTask : public SlowFileOpSpecification
{
public:
    WriteTask(RollbackDataList *journal, const QString &target, const QByteArray &bytes, bool fail,
              bool overwrites = true)
        : SlowFileOpSpecification(journal, QString(), target, QStringLiteral("Could not write '%1'").arg(target),
                                  nullptr, 1.0),
          m_bytes(bytes), m_fail(fail), m_overwrites(overwrites)
    {
    }
    ASyncFunc *createFunc() override { return new WriteFunc(m_Target, m_bytes, m_fail); }
    bool overwritesTarget() const override { return m_overwrites; }

private:
    QByteArray m_bytes;
    bool m_fail;
    bool m_overwrites;
};

class TouchTask : public FastFileOpTaskSpecification
{
public:
    TouchTask(const QString &path, RollbackDataList *journal, QObject *parent)
        : FastFileOpTaskSpecification(path, journal, parent, 1.0)
    {
    }
    bool doOp() override
    {
        QFile f(m_Path);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        addRollbackData(RollbackData(RollbackData::FILE_CREATE, m_Path));
        return true;
    }
};

} // namespace

class TestTaskFramework : public QObject
{
    Q_OBJECT
private slots:
    void emptyComposedFinishesInsideExecute();
    void maxParallelOneRunsChildrenInOrderOneAtATime();
    void maxParallelAboveChildCountStartsEachChildOnce();
    void failingChildStopsStartsAndAbortsRunningSiblingsOnce();
    void cancelOutcome_data();
    void cancelOutcome();
    void cancelBeforeExecuteStartsNothing();
    void otherTaskCancelledIgnoresSelfAndIdle();
    void nestedComposedPassesAbortDown();
    void repeatedEndReportsLeaveDecisionUnchanged();
    void progressIsWeightedSumOfChildren();
    void downloadStatusSumsChildrenWithKnownTotals();

    void workerWithoutProgressEndsWithFullWeight();
    void workerTextsArriveBeforeResult();
    void cancelDoesNotStopRunningWorker_data();
    void cancelDoesNotStopRunningWorker();
    void resultAfterResetIsIgnored();

    void slowOpWithoutJournalRecordsNothing();
    void slowOpFailureEmitsItsTextOnceAndRemovesPartialNewFile();
    void rollbackRestoresPreviousContent_data();
    void rollbackRestoresPreviousContent();
    void commitKeepsNewContentAndDropsSavedCopy();
    void slowOpThatRefusesExistingTargetLeavesIt();
    void fastOpEndsInsideExecute();
};

void TestTaskFramework::emptyComposedFinishesInsideExecute()
{
    Composed c(1, nullptr, 0.7);
    QSignalSpy finished(&c, &TaskSpecification::finished);
    c.execute();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(c.state, TaskSpecification::Finished);
    QCOMPARE(c.doneFrac, 0.7);
}

void TestTaskFramework::maxParallelOneRunsChildrenInOrderOneAtATime()
{
    QStringList log;
    Composed c(1);
    const auto kids = addManual(&c, 3, &log);
    QSignalSpy finished(&c, &TaskSpecification::finished);
    c.execute();
    QCOMPARE(kids[0]->executed, 0); // starts go through the event loop
    QTRY_COMPARE(log, QStringList{"0"});
    kids[0]->setFinished();
    QCOMPARE(log, QStringList{"0"}); // never inside the previous child's finished emission
    QTRY_COMPARE(log, (QStringList{"0", "1"}));
    QCoreApplication::processEvents();
    QCOMPARE(log.size(), 2);
    kids[1]->setFinished();
    QTRY_COMPARE(log, (QStringList{"0", "1", "2"}));
    kids[2]->setFinished();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(c.state, TaskSpecification::Finished);
    QCOMPARE(c.doneCalls, 1);
}

void TestTaskFramework::maxParallelAboveChildCountStartsEachChildOnce()
{
    Composed c(8);
    const auto kids = addManual(&c, 3);
    c.execute();
    QTRY_VERIFY(kids[2]->executed == 1);
    for (ManualTask *k : kids)
        QCOMPARE(k->executed, 1);
    for (ManualTask *k : kids)
        k->setFinished();
    QTRY_COMPARE(c.state, TaskSpecification::Finished);
    for (ManualTask *k : kids)
        QCOMPARE(k->executed, 1);
}

void TestTaskFramework::failingChildStopsStartsAndAbortsRunningSiblingsOnce()
{
    Composed c(3);
    const auto kids = addManual(&c, 4);
    QSignalSpy broadcast(&c, &TaskSpecification::otherTaskCancelled);
    QSignalSpy ended(&c, &TaskSpecification::canceled);
    c.execute();
    QTRY_COMPARE(kids[2]->executed, 1);

    kids[0]->setFailed();
    QCOMPARE(broadcast.count(), 1);
    QCOMPARE(kids[0]->aborted, 0);
    QCOMPARE(kids[1]->aborted, 1);
    QCOMPARE(kids[1]->abortedBy, kids[0]);
    QCOMPARE(kids[2]->aborted, 1);

    kids[1]->setFailed(); // second failure: no second broadcast
    QCOMPARE(broadcast.count(), 1);
    QCOMPARE(kids[2]->aborted, 1);
    QCOMPARE(ended.count(), 0); // kids[2] still runs

    kids[2]->setFinished();
    QTRY_COMPARE(ended.count(), 1);
    QCOMPARE(c.state, TaskSpecification::Failed);
    QCoreApplication::processEvents();
    QCOMPARE(kids[3]->executed, 0);
}

void TestTaskFramework::cancelOutcome_data()
{
    QTest::addColumn<int>("finishedBefore"); // children finished before cancel()
    QTest::addColumn<int>("runningEnd");     // end state of the running child after cancel()
    QTest::addColumn<int>("expected");

    QTest::newRow("last child finishes anyway")
        << 2 << int(TaskSpecification::Finished) << int(TaskSpecification::Finished);
    QTest::newRow("queued children remain")
        << 1 << int(TaskSpecification::Finished) << int(TaskSpecification::Canceled);
    QTest::newRow("running child cancels") << 1 << int(TaskSpecification::Canceled) << int(TaskSpecification::Canceled);
    QTest::newRow("running child fails") << 0 << int(TaskSpecification::Failed) << int(TaskSpecification::Failed);
}

void TestTaskFramework::cancelOutcome()
{
    QFETCH(int, finishedBefore);
    QFETCH(int, runningEnd);
    QFETCH(int, expected);

    Composed c(1);
    const auto kids = addManual(&c, 3);
    QSignalSpy finished(&c, &TaskSpecification::finished);
    QSignalSpy canceled(&c, &TaskSpecification::canceled);
    c.execute();
    for (int i = 0; i < finishedBefore; ++i) {
        QTRY_COMPARE(kids[i]->executed, 1);
        kids[i]->setFinished();
    }
    ManualTask *running = kids[finishedBefore];
    QTRY_COMPARE(running->executed, 1);

    c.cancel();
    for (ManualTask *k : kids)
        QCOMPARE(k->cancelCalls, 1); // ended and queued children get the flag too
    if (runningEnd == TaskSpecification::Finished)
        running->setFinished();
    else if (runningEnd == TaskSpecification::Failed)
        running->setFailed();
    else
        running->setCanceled();

    QTRY_COMPARE(finished.count() + canceled.count(), 1);
    QCOMPARE(int(c.state), expected);
    QCoreApplication::processEvents();
    for (int i = finishedBefore + 1; i < kids.size(); ++i)
        QCOMPARE(kids[i]->executed, 0);
}

void TestTaskFramework::cancelBeforeExecuteStartsNothing()
{
    Composed c(2);
    const auto kids = addManual(&c, 2);
    c.cancel();
    QCOMPARE(kids[0]->cancelCalls, 0); // not running: only the flag
    QVERIFY(c.cancelRequested);
    QSignalSpy canceled(&c, &TaskSpecification::canceled);
    c.execute();
    QTRY_COMPARE(canceled.count(), 1);
    QCOMPARE(c.state, TaskSpecification::Canceled);
    QCOMPARE(kids[0]->executed + kids[1]->executed, 0);
}

void TestTaskFramework::otherTaskCancelledIgnoresSelfAndIdle()
{
    Composed c(2);
    const auto kids = addManual(&c, 2);
    emit c.otherTaskCancelled(kids[1]); // both idle
    QCOMPARE(kids[0]->aborted + kids[1]->aborted, 0);
    c.execute();
    QTRY_COMPARE(kids[1]->executed, 1);
    emit c.otherTaskCancelled(kids[1]);
    QCOMPARE(kids[0]->aborted, 1);
    QCOMPARE(kids[1]->aborted, 0); // itself
}

void TestTaskFramework::nestedComposedPassesAbortDown()
{
    Composed root(2);
    auto *inner = new Composed(1, &root, 0.5);
    root.addSubTask(inner);
    auto *grandchild = addManual(inner, 1).first();
    auto *failing = new ManualTask(&root, 0.5);
    root.addSubTask(failing);
    root.execute();
    QTRY_COMPARE(grandchild->executed, 1);
    QTRY_COMPARE(failing->executed, 1);
    failing->setFailed();
    QCOMPARE(grandchild->aborted, 1);
    QCOMPARE(grandchild->abortedBy, failing);
    grandchild->setFailed();
    QTRY_COMPARE(root.state, TaskSpecification::Failed);
    QCOMPARE(inner->state, TaskSpecification::Failed);
}

void TestTaskFramework::repeatedEndReportsLeaveDecisionUnchanged()
{
    Composed c(1);
    const auto kids = addManual(&c, 2);
    QSignalSpy canceled(&c, &TaskSpecification::canceled);
    QSignalSpy finished(&c, &TaskSpecification::finished);
    c.execute();
    QTRY_COMPARE(kids[0]->executed, 1);
    kids[0]->setCanceled();
    QCOMPARE(canceled.count(), 1);
    kids[0]->setCanceled();
    kids[0]->setFinished();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(canceled.count(), 1);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(c.doneCalls, 1);
    QCOMPARE(kids[1]->executed, 0);
}

void TestTaskFramework::progressIsWeightedSumOfChildren()
{
    Composed c(2, nullptr, 2.0);
    auto *a = new ManualTask(&c, 0.25);
    auto *b = new ManualTask(&c, 0.75);
    c.addSubTask(a);
    c.addSubTask(b);
    QSignalSpy progress(&c, &TaskSpecification::updateProgress);
    b->setProgress(0.5);
    QCOMPARE(c.doneFrac, 2.0 * 0.375);
    a->setFinished();
    QCOMPARE(c.doneFrac, 2.0 * 0.625);
    QCOMPARE(progress.last().first().toReal(), 2.0 * 0.625);
    b->setFinished();
    QCOMPARE(c.doneFrac, 2.0);
}

void TestTaskFramework::downloadStatusSumsChildrenWithKnownTotals()
{
    Composed c(3);
    const auto kids = addManual(&c, 3);
    kids[0]->statusDone = 10;
    kids[0]->statusTotal = 100;
    kids[0]->statusSpeed = 5;
    kids[1]->statusDone = 7; // unknown total: its done is not counted, its speed is
    kids[1]->statusSpeed = 3;
    kids[1]->statusDownloading = true;
    kids[2]->statusDone = 1;
    kids[2]->statusTotal = 2;
    quint64 done = 1000, total = 2000, speed = 0; // added to, not zeroed
    bool downloading = false;
    c.getDownloadStatus(done, total, speed, downloading);
    QCOMPARE(done, quint64(1011));
    QCOMPARE(total, quint64(2102));
    QCOMPARE(speed, quint64(8));
    QVERIFY(downloading);
}

void TestTaskFramework::workerWithoutProgressEndsWithFullWeight()
{
    ResultTask t(true);
    QSignalSpy finished(&t, &TaskSpecification::finished);
    t.execute();
    QCOMPARE(t.state, TaskSpecification::Running);
    QVERIFY(finished.wait(5000));
    QCOMPARE(t.state, TaskSpecification::Finished);
    QCOMPARE(t.doneFrac, 0.5);
}

void TestTaskFramework::workerTextsArriveBeforeResult()
{
    ResultTask t(false, true);
    QStringList order;
    connect(&t, &TaskSpecification::updateProgress, this, [&](qreal p) { order << QString::number(p); });
    connect(&t, &TaskSpecification::message, this, [&](const QString &m) { order << m; });
    connect(&t, &TaskSpecification::canceled, this, [&] { order << QStringLiteral("end"); });
    t.execute();
    QTRY_COMPARE(order, (QStringList{"0.25", "halfway", "end"}));
    QCOMPARE(t.state, TaskSpecification::Failed);
}

void TestTaskFramework::cancelDoesNotStopRunningWorker_data()
{
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("expected");
    QTest::newRow("succeeds") << true << int(TaskSpecification::Finished);
    QTest::newRow("fails") << false << int(TaskSpecification::Failed);
}

void TestTaskFramework::cancelDoesNotStopRunningWorker()
{
    QFETCH(bool, result);
    QFETCH(int, expected);
    ResultTask t(result);
    t.execute();
    t.cancel();
    t.abort(&t);
    QTRY_COMPARE(int(t.state), expected);
}

void TestTaskFramework::resultAfterResetIsIgnored()
{
    ResultTask t(true);
    QSignalSpy finished(&t, &TaskSpecification::finished);
    t.execute();
    t.reset(); // waits for the pool; the result is already posted
    QCOMPARE(t.state, TaskSpecification::Idle);
    QCoreApplication::processEvents();
    QCOMPARE(t.state, TaskSpecification::Idle);
    QCOMPARE(finished.count(), 0);
}

void TestTaskFramework::slowOpWithoutJournalRecordsNothing()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f"));
    QVERIFY(writeTestFile(target, "old"));
    WriteTask t(nullptr, target, "new", false);
    t.execute();
    QTRY_COMPARE(t.state, TaskSpecification::Finished);
    QCOMPARE(readTestFile(target), QByteArray("new"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"f"}); // nothing moved aside
}

void TestTaskFramework::slowOpFailureEmitsItsTextOnceAndRemovesPartialNewFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("new.bin"));
    RollbackDataList journal;
    WriteTask t(&journal, target, "0123456789", true);
    QSignalSpy messages(&t, &TaskSpecification::message);
    t.execute();
    QTRY_COMPARE(t.state, TaskSpecification::Failed);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(), QStringLiteral("Could not write '%1'").arg(target));
    QVERIFY(journal.isEmpty());
    QVERIFY(!QFile::exists(target));
}

void TestTaskFramework::rollbackRestoresPreviousContent_data()
{
    QTest::addColumn<bool>("opFails");
    QTest::newRow("op succeeded, later step failed") << false;
    QTest::newRow("op failed half-way") << true;
}

void TestTaskFramework::rollbackRestoresPreviousContent()
{
    QFETCH(bool, opFails);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("lib.so"));
    QByteArray previous(70000, '\0');
    for (int i = 0; i < previous.size(); ++i)
        previous[i] = char(i * 7);
    QVERIFY(writeTestFile(target, previous));

    RollbackDataList journal;
    WriteTask t(&journal, target, QByteArray(50000, 'N'), opFails);
    t.execute();
    QTRY_VERIFY(t.state != TaskSpecification::Running);
    QCOMPARE(t.state, opFails ? TaskSpecification::Failed : TaskSpecification::Finished);
    if (!opFails)
        QCOMPARE(readTestFile(target), QByteArray(50000, 'N'));

    QObject sink;
    QVERIFY(journal.rollbackAll(&sink));
    QVERIFY(journal.isEmpty());
    QCOMPARE(readTestFile(target), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"lib.so"});
}

void TestTaskFramework::commitKeepsNewContentAndDropsSavedCopy()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("data.pak"));
    QVERIFY(writeTestFile(target, "old"));
    QVERIFY(writeTestFile(SlowFileOpSpecification::savedCopyPath(target), "leftover of a crashed run"));
    RollbackDataList journal;
    WriteTask t(&journal, target, "new", false);
    t.execute();
    QTRY_COMPARE(t.state, TaskSpecification::Finished);
    QCOMPARE(journal.size(), 2);
    QVERIFY(journal.commit());
    QVERIFY(journal.isEmpty());
    QCOMPARE(readTestFile(target), QByteArray("new"));
    // The leftover is not ours and stays; our own saved copy is gone.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"data.pak", "data.pak.mv3_previous"}));
}

void TestTaskFramework::slowOpThatRefusesExistingTargetLeavesIt()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f"));
    QVERIFY(writeTestFile(target, "keep"));
    RollbackDataList journal;
    // Fails like a copy onto an existing file; the installed file must survive untouched.
    WriteTask t(&journal, target, QByteArray(), true, false);
    t.execute();
    QTRY_COMPARE(t.state, TaskSpecification::Failed);
    QVERIFY(journal.isEmpty());
    QVERIFY(QFile::exists(target));
}

void TestTaskFramework::fastOpEndsInsideExecute()
{
    QTemporaryDir dir;
    RollbackDataList journal;
    Composed parent(1);
    auto *ok = new TouchTask(dir.filePath(QStringLiteral("a")), &journal, &parent);
    auto *bad = new TouchTask(dir.filePath(QStringLiteral("missing/b")), &journal, &parent);
    QSignalSpy okFinished(ok, &TaskSpecification::finished);
    QSignalSpy badCanceled(bad, &TaskSpecification::canceled);
    ok->execute();
    QCOMPARE(okFinished.count(), 1);
    bad->execute();
    QCOMPARE(badCanceled.count(), 1);
    QCOMPARE(bad->state, TaskSpecification::Failed);
    QCOMPARE(journal.size(), 1);
}

QTEST_GUILESS_MAIN(TestTaskFramework)
#include "tst_taskframework.moc"
