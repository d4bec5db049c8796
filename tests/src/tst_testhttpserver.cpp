// Tests the fault injection of the test HTTP server that the download and update tests rely on.
#include "testfiles.h"
#include "testhttpserver.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    bool hasLength = false;
    QByteArray location;
};

} // namespace

class TestTestHttpServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void servesRootAndBodies();
    void refusesPathsOutsideRoot();
    void faults_data();
    void faults();
    void faultAppliesOnlyToFirstTimes();
    void stallKeepsConnectionSilent();
    void fixedPortWorks();

private:
    Result get(const QString &path, int timeoutMs = 5000);

    QTemporaryDir m_dir;
    TestHttpServer m_server;
    QNetworkAccessManager m_manager;
};

void TestTestHttpServer::initTestCase()
{
    QVERIFY(m_server.start());
    QVERIFY(m_server.port() != 0);
    QCOMPARE(m_server.baseUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_server.port()));
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("root/sub dir"))));
    QVERIFY(writeTestFile(m_dir.filePath(QStringLiteral("root/sub dir/file.bin")), testPattern(700000)));
    QVERIFY(writeTestFile(m_dir.filePath(QStringLiteral("secret")), "secret"));
    m_server.setRoot(m_dir.filePath(QStringLiteral("root")));
}

Result TestTestHttpServer::get(const QString &path, int timeoutMs)
{
    QNetworkReply *reply = m_manager.get(QNetworkRequest(QUrl(m_server.baseUrl() + path)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(timeoutMs);
    Result r;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    r.error = reply->error();
    r.hasLength = reply->hasRawHeader("Content-Length");
    r.location = reply->rawHeader("Location");
    reply->deleteLater();
    return r;
}

void TestTestHttpServer::servesRootAndBodies()
{
    m_server.resetCounts();
    const Result file = get(QStringLiteral("/sub%20dir/file.bin"));
    QCOMPARE(file.status, 200);
    QCOMPARE(file.body, testPattern(700000));
    QVERIFY(file.hasLength);
    QCOMPARE(m_server.requestCount(QStringLiteral("/sub dir/file.bin")), 1);

    m_server.setBody(QStringLiteral("/fixed"), "fixed answer");
    QCOMPARE(get(QStringLiteral("/fixed")).body, QByteArray("fixed answer"));
    QCOMPARE(get(QStringLiteral("/nothing")).status, 404);
    QCOMPARE(m_server.totalRequestCount(), 3);
    QVERIFY(m_server.lastRequestHeaders(QStringLiteral("/fixed")).startsWith("GET /fixed HTTP/1.1\r\n"));
}

void TestTestHttpServer::refusesPathsOutsideRoot()
{
    // Raw socket: a client library would normalise the dots away.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_server.port());
    QVERIFY(socket.waitForConnected(2000));
    socket.write("GET /../secret HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray answer;
    QTRY_VERIFY(socket.state() != QAbstractSocket::ConnectedState || (answer += socket.readAll()).contains("\r\n\r\n"));
    answer += socket.readAll();
    QVERIFY2(answer.startsWith("HTTP/1.1 404"), answer.constData());
}

void TestTestHttpServer::faults_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("redirect");
    QTest::addColumn<qint64>("closeAfter");
    QTest::addColumn<bool>("omitLength");
    QTest::addColumn<int>("drip");
    QTest::addColumn<int>("expectStatus");
    QTest::addColumn<int>("expectBodySize");
    QTest::addColumn<bool>("expectError");

    QTest::newRow("404") << 404 << QString() << qint64(-1) << false << 0 << 404 << -1 << true;
    QTest::newRow("500") << 500 << QString() << qint64(-1) << false << 0 << 500 << -1 << true;
    QTest::newRow("redirect") << 0 << QStringLiteral("/other") << qint64(-1) << false << 0 << 302 << -1 << false;
    QTest::newRow("close mid-body") << 0 << QString() << qint64(1000) << false << 0 << 200 << 1000 << true;
    QTest::newRow("no Content-Length") << 0 << QString() << qint64(-1) << true << 0 << 200 << 5000 << false;
    QTest::newRow("no Content-Length, closed early")
        << 0 << QString() << qint64(1000) << true << 0 << 200 << 1000 << false;
    QTest::newRow("drip") << 0 << QString() << qint64(-1) << false << 20000 << 200 << 5000 << false;
}

void TestTestHttpServer::faults()
{
    QFETCH(int, status);
    QFETCH(QString, redirect);
    QFETCH(qint64, closeAfter);
    QFETCH(bool, omitLength);
    QFETCH(int, drip);
    QFETCH(int, expectStatus);
    QFETCH(int, expectBodySize);
    QFETCH(bool, expectError);

    const QString path = QStringLiteral("/f-%1").arg(QTest::currentDataTag());
    m_server.setBody(path, testPattern(5000, 3));
    TestHttpServer::Fault f;
    f.status = status;
    f.redirectTo = redirect;
    f.closeAfterBytes = closeAfter;
    f.omitContentLength = omitLength;
    f.dripBytesPerSecond = drip;
    m_server.setFault(path, f);

    QElapsedTimer clock;
    clock.start();
    const Result r = get(path);
    QCOMPARE(r.status, expectStatus);
    QCOMPARE(r.error != QNetworkReply::NoError, expectError);
    QCOMPARE(r.hasLength, !omitLength);
    if (expectBodySize >= 0)
        QCOMPARE(r.body, testPattern(5000, 3).left(expectBodySize));
    if (!redirect.isEmpty())
        QCOMPARE(r.location, redirect.toUtf8());
    if (drip)
        QVERIFY2(clock.elapsed() >= 150, "5000 bytes at 20000 B/s take about 250 ms");
}

void TestTestHttpServer::faultAppliesOnlyToFirstTimes()
{
    m_server.setBody(QStringLiteral("/twice"), "ok");
    TestHttpServer::Fault f;
    f.status = 404;
    f.times = 2;
    m_server.setFault(QStringLiteral("/twice"), f);
    QCOMPARE(get(QStringLiteral("/twice")).status, 404);
    QCOMPARE(get(QStringLiteral("/twice")).status, 404);
    QCOMPARE(get(QStringLiteral("/twice")).body, QByteArray("ok"));
    QCOMPARE(m_server.requestCount(QStringLiteral("/twice")), 3);
}

void TestTestHttpServer::stallKeepsConnectionSilent()
{
    m_server.setBody(QStringLiteral("/stall"), testPattern(100000));
    TestHttpServer::Fault f;
    f.stallAfterBytes = 4000;
    m_server.setFault(QStringLiteral("/stall"), f);
    QNetworkReply *reply = m_manager.get(QNetworkRequest(QUrl(m_server.baseUrl() + QStringLiteral("/stall"))));
    QTRY_COMPARE(reply->bytesAvailable(), qint64(4000));
    QTest::qWait(300);
    QVERIFY(reply->isRunning());
    QCOMPARE(reply->bytesAvailable(), qint64(4000));
    reply->abort();
    reply->deleteLater();
}

void TestTestHttpServer::fixedPortWorks()
{
    TestHttpServer probe;
    QVERIFY(probe.start());
    const quint16 port = probe.port();
    probe.stop();
    TestHttpServer fixed;
    QVERIFY(fixed.start(port));
    QCOMPARE(fixed.port(), port);
    fixed.setBody(QStringLiteral("/x"), "y");
    QNetworkReply *reply = m_manager.get(QNetworkRequest(QUrl(fixed.baseUrl() + QStringLiteral("/x"))));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->readAll(), QByteArray("y"));
    reply->deleteLater();
}

QTEST_GUILESS_MAIN(TestTestHttpServer)
#include "tst_testhttpserver.moc"
