// Tests DownloadTaskSpecification against the in-process HTTP server with injected faults.
#include "composedtaskspecification.h"
#include "configuration.h"
#include "downloadtaskspecification.h"
#include "spytexts.h"
#include "testfiles.h"
#include "testhttpserver.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

const int kVersion = 7;
const QString kName = QStringLiteral("data/file.bin");
const QString kPath = QStringLiteral("/updater-images/client/7/data/file.bin");

// Exposes the counters so tests can check what a restart leaves behind.
class Download : public DownloadTaskSpecification
{
public:
    using DownloadTaskSpecification::DownloadTaskSpecification;
    qint64 received() const { return m_BytesReceived; }
    qint64 total() const { return m_BytesTotal; }
    int retries() const { return m_RetryCount; }
};

class FailingTask : public TaskSpecification
{
public:
    explicit FailingTask(QObject *parent) : TaskSpecification(parent, 0.5) {}
    void execute() override { state = Running; }
};

class Parent : public ComposedTaskSpecification
{
public:
    Parent() : ComposedTaskSpecification(2, nullptr, 1.0) {}
    void execute() override { startSubtasks(); }
};

} // namespace

class TestDownloadTask : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void downloadsWholeFile_data();
    void downloadsWholeFile();
    void failedAttempts_data();
    void failedAttempts();
    void stalledTransferRestartsFromZero();
    void dataAfterFourteenSilentQueriesResetsStallCounter();
    void unknownSizeReportsNoProgressUntilTheEnd();
    void cancelIdleOnlySetsFlag();
    void cancelRunningDeletesPartialFileAndEndsOnce();
    void abortAfterSiblingFailed();
    void unwritableTargetFailsWithoutRequest();
    void taskOutlivingItsManagerLeavesFreedReplyAlone();
    void shortWriteIsAFailedAttempt_data();
    void shortWriteIsAFailedAttempt();

private:
    Download *makeTask(qint64 expected, qreal weight = 0.8);
    QTimer *poll(DownloadTaskSpecification *task, int intervalMs);

    TestHttpServer *m_server = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    QTemporaryDir *m_dir = nullptr;
    QString m_local;
};

void TestDownloadTask::init()
{
    m_server = new TestHttpServer(this);
    QVERIFY(m_server->start());
    Configuration::s_updateImageUrl = m_server->baseUrl() + QStringLiteral("/updater-images/client/");
    m_manager = new QNetworkAccessManager(this);
    m_dir = new QTemporaryDir;
    m_local = m_dir->filePath(QStringLiteral("file.bin"));
}

void TestDownloadTask::cleanup()
{
    delete m_dir;
    delete m_manager;
    delete m_server;
}

Download *TestDownloadTask::makeTask(qint64 expected, qreal weight)
{
    return new Download(m_manager, kName, kVersion, m_local, expected, weight, m_manager);
}

// Stands in for the engine's once-a-second statistics query.
QTimer *TestDownloadTask::poll(DownloadTaskSpecification *task, int intervalMs)
{
    auto *timer = new QTimer(task);
    connect(timer, &QTimer::timeout, task, [task] {
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        task->getDownloadStatus(done, total, speed, downloading);
    });
    timer->start(intervalMs);
    return timer;
}

void TestDownloadTask::downloadsWholeFile_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("planned");
    QTest::addColumn<bool>("contentLength");
    QTest::newRow("planned size") << 300000 << true << true;
    QTest::newRow("several write blocks") << 3 * 1024 * 1024 + 12345 << true << true;
    QTest::newRow("size from Content-Length") << 300000 << false << true;
    QTest::newRow("no size at all") << 300000 << false << false;
    QTest::newRow("empty body") << 0 << true << true;
    QTest::newRow("empty body, size unknown") << 0 << false << true;
}

void TestDownloadTask::downloadsWholeFile()
{
    QFETCH(int, size);
    QFETCH(bool, planned);
    QFETCH(bool, contentLength);
    const QByteArray body = testPattern(size);
    m_server->setBody(kPath, body);
    if (!contentLength) {
        TestHttpServer::Fault f;
        f.omitContentLength = true;
        m_server->setFault(kPath, f);
    }
    Download *task = makeTask(planned ? size : -1);
    QSignalSpy finished(task, &TaskSpecification::finished);
    QSignalSpy messages(task, &TaskSpecification::message);
    task->execute();
    QCOMPARE(task->state, TaskSpecification::Running);
    QVERIFY(finished.wait(10000));
    QCOMPARE(task->state, TaskSpecification::Finished);
    QCOMPARE(task->doneFrac, 0.8);
    QVERIFY(QFile::exists(m_local));
    QCOMPARE(readTestFile(m_local), body);
    QCOMPARE(m_server->requestCount(kPath), 1);
    QCOMPARE(spyTexts(messages), (QStringList{QStringLiteral("Downloading data/file.bin"),
                                              QStringLiteral("Downloading data/file.bin finished")}));
}

void TestDownloadTask::failedAttempts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("redirect");
    QTest::addColumn<qint64>("closeAfter");
    QTest::addColumn<qint64>("planned");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("attemptText"); // empty: Qt's own error string, not pinned

    QTest::newRow("404 always") << 404 << QString() << qint64(-1) << qint64(5000) << -1
                                << QStringLiteral("data/file.bin returned 404");
    QTest::newRow("500 always") << 500 << QString() << qint64(-1) << qint64(-1) << -1
                                << QStringLiteral("data/file.bin returned 500");
    QTest::newRow("redirect always") << 0 << QStringLiteral("/elsewhere") << qint64(-1) << qint64(5000) << -1
                                     << QStringLiteral("data/file.bin returned 302");
    QTest::newRow("connection dropped mid-body always")
        << 0 << QString() << qint64(3000) << qint64(5000) << -1 << QString();
    QTest::newRow("body longer than planned") << 0 << QString() << qint64(-1) << qint64(4000) << -1
                                              << QStringLiteral("data/file.bin is larger than the expected 4000 bytes");
    QTest::newRow("404 twice, then served")
        << 404 << QString() << qint64(-1) << qint64(5000) << 2 << QStringLiteral("data/file.bin returned 404");
    QTest::newRow("dropped once, restarts and completes")
        << 0 << QString() << qint64(3000) << qint64(5000) << 1 << QString();
    QTest::newRow("four failures are still recovered")
        << 500 << QString() << qint64(-1) << qint64(-1) << 4 << QStringLiteral("data/file.bin returned 500");
}

void TestDownloadTask::failedAttempts()
{
    QFETCH(int, status);
    QFETCH(QString, redirect);
    QFETCH(qint64, closeAfter);
    QFETCH(qint64, planned);
    QFETCH(int, times);
    QFETCH(QString, attemptText);

    const QByteArray body = testPattern(5000);
    m_server->setBody(kPath, body);
    TestHttpServer::Fault f;
    f.status = status;
    f.redirectTo = redirect;
    f.closeAfterBytes = closeAfter;
    f.times = times;
    m_server->setFault(kPath, f);

    Download *task = makeTask(planned);
    QSignalSpy finished(task, &TaskSpecification::finished);
    QSignalSpy canceled(task, &TaskSpecification::canceled);
    QSignalSpy messages(task, &TaskSpecification::message);
    QSignalSpy errors(task, &TaskSpecification::error);
    task->execute();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + canceled.count(), 1, 20000);

    const int failures = times < 0 ? 5 : times;
    QStringList expected{QStringLiteral("Downloading data/file.bin")};
    const QStringList got = spyTexts(messages);
    for (int i = 0; i < failures; ++i)
        expected << (attemptText.isEmpty() ? got.value(1 + i) : attemptText);
    if (times < 0) {
        expected << QStringLiteral("Unable to download data/file.bin");
        QCOMPARE(task->state, TaskSpecification::Failed);
        QVERIFY(!QFile::exists(m_local));
    } else {
        expected << QStringLiteral("Downloading data/file.bin finished");
        QCOMPARE(task->state, TaskSpecification::Finished);
        QCOMPARE(readTestFile(m_local), body);
    }
    QCOMPARE(got, expected);
    for (int i = 1; i <= failures; ++i)
        QVERIFY2(!got.at(i).isEmpty(), "every failed attempt says why");
    QCOMPARE(errors.count(), 0); // restart texts go through message
    QCOMPARE(m_server->requestCount(kPath), times < 0 ? 5 : times + 1);
    QCOMPARE(canceled.count() + finished.count(), 1);
}

void TestDownloadTask::stalledTransferRestartsFromZero()
{
    const QByteArray body = testPattern(200000);
    m_server->setBody(kPath, body);
    TestHttpServer::Fault f;
    f.stallAfterBytes = 70000;
    f.times = 1;
    m_server->setFault(kPath, f);

    Download *task = makeTask(body.size());
    QSignalSpy finished(task, &TaskSpecification::finished);
    bool checked = false;
    QTimer *ticker = nullptr;
    connect(task, &TaskSpecification::message, this, [&](const QString &text) {
        if (text != QLatin1String("file data/file.bin timed out"))
            return;
        // The failed attempt is gone before the next starts: counters back to the plan, no file.
        QCOMPARE(task->received(), qint64(0));
        QCOMPARE(task->total(), qint64(body.size()));
        QCOMPARE(task->doneFrac, 0.0);
        QVERIFY(!QFile::exists(m_local));
        checked = true;
        // The fast test clock could also time out a healthy but briefly starved second attempt.
        ticker->stop();
    });
    task->execute();
    QTRY_COMPARE(task->received(), qint64(70000));

    quint64 done = 0, total = 0, speed = 0;
    bool downloading = false;
    task->getDownloadStatus(done, total, speed, downloading);
    QCOMPARE(done, quint64(70000));
    QCOMPARE(total, quint64(200000));
    QCOMPARE(speed, quint64(70000));
    QVERIFY(downloading);
    task->getDownloadStatus(done, total, speed, downloading);
    QCOMPARE(speed, quint64(0)); // nothing new since the previous query

    ticker = poll(task, 20);
    QVERIFY(finished.wait(10000));
    QVERIFY(checked);
    QCOMPARE(readTestFile(m_local), body);
    QCOMPARE(m_server->requestCount(kPath), 2);
    QCOMPARE(task->retries(), 1);
}

void TestDownloadTask::dataAfterFourteenSilentQueriesResetsStallCounter()
{
    m_server->setBody(kPath, testPattern(50000));
    TestHttpServer::Fault f;
    f.delayMs = 400;
    f.stallAfterBytes = 1000;
    m_server->setFault(kPath, f);

    Download *task = makeTask(50000);
    QSignalSpy messages(task, &TaskSpecification::message);
    task->execute();
    quint64 done = 0, total = 0, speed = 0;
    for (int i = 0; i < 14; ++i) {
        bool downloading = false;
        task->getDownloadStatus(done, total, speed, downloading);
        QVERIFY(downloading);
    }
    QTRY_COMPARE(task->received(), qint64(1000));
    for (int i = 0; i < 15; ++i) {
        bool downloading = false;
        task->getDownloadStatus(done, total, speed, downloading);
        QVERIFY2(downloading, qPrintable(QString::number(i)));
    }
    QCOMPARE(messages.count(), 1);
    bool downloading = false;
    task->getDownloadStatus(done, total, speed, downloading); // the 16th silent query
    QVERIFY(!downloading);
    QCOMPARE(spyTexts(messages).value(1), QStringLiteral("file data/file.bin timed out"));
    QCOMPARE(task->state, TaskSpecification::Running); // restarted
    task->cancel();
}

void TestDownloadTask::unknownSizeReportsNoProgressUntilTheEnd()
{
    const QByteArray body = testPattern(30000);
    m_server->setBody(kPath, body);
    TestHttpServer::Fault f;
    f.omitContentLength = true;
    f.dripBytesPerSecond = 100000;
    m_server->setFault(kPath, f);

    Download *task = makeTask(-1, 0.3333);
    QSignalSpy progress(task, &TaskSpecification::updateProgress);
    QSignalSpy finished(task, &TaskSpecification::finished);
    task->execute();
    QTRY_VERIFY(task->received() > 0);
    quint64 done = 0, total = 1, speed = 0;
    bool downloading = false;
    task->getDownloadStatus(done, total, speed, downloading);
    QCOMPARE(total, quint64(0));
    QVERIFY(done > 0);
    QVERIFY(finished.wait(10000));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.first().first().toReal(), 0.3333);
    QCOMPARE(readTestFile(m_local), body);
}

void TestDownloadTask::cancelIdleOnlySetsFlag()
{
    Download *task = makeTask(10);
    QSignalSpy canceled(task, &TaskSpecification::canceled);
    task->cancel();
    QVERIFY(task->cancelRequested);
    QCOMPARE(task->state, TaskSpecification::Idle);
    QCOMPARE(canceled.count(), 0);
    QVERIFY(!QFile::exists(m_local));
}

void TestDownloadTask::cancelRunningDeletesPartialFileAndEndsOnce()
{
    m_server->setBody(kPath, testPattern(100000));
    TestHttpServer::Fault f;
    f.stallAfterBytes = 10000;
    m_server->setFault(kPath, f);
    Download *task = makeTask(100000);
    QSignalSpy canceled(task, &TaskSpecification::canceled);
    QSignalSpy finished(task, &TaskSpecification::finished);
    task->execute();
    QTRY_COMPARE(task->received(), qint64(10000));
    QVERIFY(QFile::exists(m_local));
    task->cancel();
    QCOMPARE(task->state, TaskSpecification::Canceled);
    QVERIFY(!QFile::exists(m_local));
    task->cancel();
    QTest::qWait(100);
    QCOMPARE(canceled.count(), 1);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(m_server->requestCount(kPath), 1);
}

void TestDownloadTask::abortAfterSiblingFailed()
{
    m_server->setBody(kPath, testPattern(100000));
    TestHttpServer::Fault f;
    f.stallAfterBytes = 5000;
    m_server->setFault(kPath, f);
    Parent parent;
    auto *task = new Download(m_manager, kName, kVersion, m_local, 100000, 0.5, &parent);
    auto *sibling = new FailingTask(&parent);
    parent.addSubTask(task);
    parent.addSubTask(sibling);
    QSignalSpy messages(task, &TaskSpecification::message);
    QSignalSpy parentEnded(&parent, &TaskSpecification::canceled);
    parent.execute();
    QTRY_COMPARE(task->received(), qint64(5000));
    sibling->setFailed();
    QCOMPARE(task->state, TaskSpecification::Failed);
    QCOMPARE(spyTexts(messages).last(), QStringLiteral("Abort downloading data/file.bin"));
    QVERIFY(!QFile::exists(m_local));
    QTRY_COMPARE(parentEnded.count(), 1);
    QCOMPARE(parent.state, TaskSpecification::Failed);
}

void TestDownloadTask::unwritableTargetFailsWithoutRequest()
{
    m_server->setBody(kPath, "x");
    const QString local = m_dir->filePath(QStringLiteral("no/such/dir/file.bin"));
    auto *task = new Download(m_manager, kName, kVersion, local, 1, 0.8, m_manager);
    QSignalSpy errors(task, &TaskSpecification::error);
    QSignalSpy canceled(task, &TaskSpecification::canceled);
    task->execute();
    QCOMPARE(task->state, TaskSpecification::Failed);
    QCOMPARE(canceled.count(), 1);
    QCOMPARE(spyTexts(errors), QStringList{QStringLiteral("Unable to create file %1 for saving").arg(local)});
    QTest::qWait(50);
    QCOMPARE(m_server->totalRequestCount(), 0);
}

void TestDownloadTask::taskOutlivingItsManagerLeavesFreedReplyAlone()
{
    // The engine's manager is its child made before the task tree, so it is destroyed first and
    // takes the replies with it.
    m_server->setBody(kPath, testPattern(50000));
    TestHttpServer::Fault f;
    f.stallAfterBytes = 1000;
    m_server->setFault(kPath, f);
    auto *task = new Download(m_manager, kName, kVersion, m_local, 50000, 0.8, nullptr);
    task->execute();
    QTRY_COMPARE(task->received(), qint64(1000));
    delete m_manager;
    m_manager = nullptr;
    quint64 done = 0, total = 0, speed = 0;
    bool downloading = false;
    task->getDownloadStatus(done, total, speed, downloading);
    task->cancel();
    QCOMPARE(task->state, TaskSpecification::Canceled);
    delete task;
}

void TestDownloadTask::shortWriteIsAFailedAttempt_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("disk fills mid-transfer") << 200000;
    // Only the last, partly filled block crosses the limit; it is written when the file is closed.
    QTest::newRow("disk fills with the last block") << 100500;
}

void TestDownloadTask::shortWriteIsAFailedAttempt()
{
    QFETCH(int, size);
    // A file size limit of 100000 bytes stands in for a full disk.
    m_server->setBody(kPath, testPattern(size));
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 100000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    Download *task = makeTask(size);
    QSignalSpy messages(task, &TaskSpecification::message);
    QSignalSpy canceled(task, &TaskSpecification::canceled);
    task->execute();
    const bool ended = canceled.wait(10000);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    QVERIFY(ended);

    const QStringList got = spyTexts(messages);
    QCOMPARE(got.size(), 7);
    QCOMPARE(got.first(), QStringLiteral("Downloading data/file.bin"));
    for (int i = 1; i <= 5; ++i)
        QVERIFY2(got.at(i).startsWith(QStringLiteral("Error writing to file %1").arg(m_local)), qPrintable(got.at(i)));
    QCOMPARE(got.last(), QStringLiteral("Unable to download data/file.bin"));
    QCOMPARE(task->state, TaskSpecification::Failed);
    QVERIFY(!QFile::exists(m_local));
}

QTEST_GUILESS_MAIN(TestDownloadTask)
#include "tst_downloadtask.moc"
