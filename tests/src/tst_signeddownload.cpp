// Tests a signed file fetched from the test server and checked in sequence, as the product ini is.
#include "checksignaturetaskspecification.h"
#include "composedtaskspecification.h"
#include "configuration.h"
#include "crypto.h"
#include "downloadtaskspecification.h"
#include "testfiles.h"
#include "testhttpserver.h"
#include "testkeys.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Download the file and its signature, then check it: the order the product ini goes through.
class FetchAndVerify : public ComposedTaskSpecification
{
public:
    FetchAndVerify(QNetworkAccessManager *manager, const QString &name, const QString &dir)
        : ComposedTaskSpecification(1, nullptr, 1.0), m_manager(manager), m_name(name), m_dir(dir)
    {
    }
    void execute() override
    {
        const QString local = m_dir + QLatin1Char('/') + m_name;
        addSubTask(new DownloadTaskSpecification(m_manager, m_name, 3, local, -1, 0.3333, this));
        addSubTask(new DownloadTaskSpecification(m_manager, m_name + QStringLiteral(".sig"), 3,
                                                 local + QStringLiteral(".sig"), -1, 0.3333, this));
        addSubTask(new CheckSignatureTaskSpecification(local, QString(), true, this, 0.3334));
        startSubtasks();
    }

private:
    QNetworkAccessManager *m_manager;
    QString m_name;
    QString m_dir;
};

} // namespace

class TestSignedDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fetchedFileVerifies_data();
    void fetchedFileVerifies();

private:
    QTemporaryDir m_served;
    TestHttpServer m_server;
};

void TestSignedDownload::initTestCase()
{
    if (!TestKeys::canSign())
        QSKIP("this build compiles in the publisher's key; no private key to sign with");
    registerCrypto();
    QVERIFY(m_server.start());
    Configuration::s_updateImageUrl = m_server.baseUrl() + QStringLiteral("/updater-images/client/");
    const QString dir = m_served.filePath(QStringLiteral("updater-images/client/3"));
    QVERIFY(QDir().mkpath(dir));
    const QString ini = dir + QStringLiteral("/update_linux_amd64.ini");
    QVERIFY(writeTestFile(ini, "[update]\n" + testPattern(40000, 5).toBase64()));
    QString output;
    QVERIFY2(TestKeys::sign(ini, &output), qPrintable(output));
    m_server.setRoot(m_served.path());
}

void TestSignedDownload::fetchedFileVerifies_data()
{
    QTest::addColumn<bool>("tamper");
    QTest::addColumn<bool>("dropConnectionOnce");
    QTest::newRow("as published") << false << false;
    QTest::newRow("as published, after a dropped connection") << false << true;
    QTest::newRow("one bit changed on the server") << true << false;
}

void TestSignedDownload::fetchedFileVerifies()
{
    QFETCH(bool, tamper);
    QFETCH(bool, dropConnectionOnce);
    const QString path = QStringLiteral("/updater-images/client/3/update_linux_amd64.ini");
    m_server.clearFaults();
    m_server.removeBody(path);
    if (tamper) {
        QByteArray bytes = readTestFile(m_served.path() + path);
        bytes[1234] = char(bytes[1234] ^ 0x10);
        m_server.setBody(path, bytes);
    }
    if (dropConnectionOnce) {
        TestHttpServer::Fault f;
        f.closeAfterBytes = 20000;
        f.times = 1;
        m_server.setFault(path, f);
    }

    QTemporaryDir local;
    QNetworkAccessManager manager;
    FetchAndVerify task(&manager, QStringLiteral("update_linux_amd64.ini"), local.path());
    QSignalSpy finished(&task, &TaskSpecification::finished);
    QSignalSpy canceled(&task, &TaskSpecification::canceled);
    task.execute();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count() + canceled.count(), 1, 15000);
    QCOMPARE(task.state, tamper ? TaskSpecification::Failed : TaskSpecification::Finished);
    if (!tamper)
        QCOMPARE(task.doneFrac, 1.0);
}

QTEST_GUILESS_MAIN(TestSignedDownload)
#include "tst_signeddownload.moc"
