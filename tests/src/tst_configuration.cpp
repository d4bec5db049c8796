// Tests Configuration: command-line forms, channel selection from update.ini, temporary directories, settings.
#include "boxanswerer.h"
#include "configuration.h"
#include "testhttpserver.h"
#include "UpdateMessage.pb.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray versionsMessage(const QList<QPair<QByteArray, int>> &channels)
{
    com::morvane::update::Versions versions;
    versions.set_licenseagreementid(1);
    for (const auto &entry : channels) {
        auto *channel = versions.add_channels();
        channel->set_name(entry.first.toStdString());
        channel->set_version_number(entry.second);
        channel->set_version_string("v" + std::to_string(entry.second));
    }
    const std::string bytes = versions.SerializeAsString();
    return QByteArray(bytes.data(), int(bytes.size()));
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

} // namespace

class tst_Configuration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLineForms_data();
    void commandLineForms();
    void channelFromUpdateIni_data();
    void channelFromUpdateIni();
    void configDirGetsSeparator();
    void createTempDirSkipsExistingNames();
    void streamsAndProxySettings_data();
    void streamsAndProxySettings();
    void initalizeStartAdoptsOrCreates();
    void serverAnswers_data();
    void serverAnswers();
    void failedQueryShowsAbortBoxAndQuits();

private:
    QString installIni() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/update.ini"); }

    TestHttpServer m_server;
    QTemporaryDir m_dir;
};

void tst_Configuration::initTestCase()
{
    qRegisterMetaType<UpdateVersions>("UpdateVersions");
    QVERIFY(m_server.start(18380));
    m_server.setBody(QStringLiteral("/mv3-client-2"), versionsMessage({{"stable", 41}, {"beta", 42}, {"alpha", 43}}));
}

void tst_Configuration::init()
{
    QDir(m_dir.path()).removeRecursively();
    QVERIFY(QDir().mkpath(m_dir.path() + QStringLiteral("/config")));
    QVERIFY(QDir().mkpath(m_dir.path() + QStringLiteral("/tmp")));
    qputenv("MV3_CONFIG_DIR", (m_dir.path() + QStringLiteral("/config")).toUtf8());
    qputenv("TMPDIR", (m_dir.path() + QStringLiteral("/tmp")).toUtf8());
    QFile::remove(installIni());
}

void tst_Configuration::cleanup()
{
    QFile::remove(installIni());
}

void tst_Configuration::commandLineForms_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("clientUpdate");
    QTest::addColumn<QString>("clientType");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("versionString");
    QTest::addColumn<bool>("queried");

    QTest::newRow("none") << QStringList{"update"} << 0 << "update_linux_amd64" << 41 << "v41" << true;
    QTest::newRow("second phase") << QStringList{"update", "--clientupdate", "client_linux_amd64", "123", "#"} << 1
                                  << "client_linux_amd64" << 123 << "" << false;
    QTest::newRow("second phase with version string")
        << QStringList{"update", "--clientupdate", "client_linux_amd64", "123", "3.1.0"} << 1 << "client_linux_amd64"
        << 123 << "3.1.0" << false;
    QTest::newRow("--clientupdate alone")
        << QStringList{"update", "--clientupdate"} << 1 << "client_linux_amd64" << 41 << "v41" << true;
    QTest::newRow("--nouser alone") << QStringList{"update", "--nouser"} << 0 << "update_linux_amd64" << 41 << "v41"
                                    << true;
    QTest::newRow("--nouser with type, no version string")
        << QStringList{"update", "--nouser", "update_linux_amd64", "9"} << 0 << "update_linux_amd64" << 9 << ""
        << false;
    QTest::newRow("two plain") << QStringList{"update", "client_linux_amd64", "77"} << 0 << "client_linux_amd64" << 77
                               << "" << false;
    QTest::newRow("one plain") << QStringList{"update", "client_linux_amd64"} << 0 << "update_linux_amd64" << 41
                               << "v41" << true;
    QTest::newRow("two, first an option")
        << QStringList{"update", "--other", "77"} << 0 << "update_linux_amd64" << 41 << "v41" << true;
}

void tst_Configuration::commandLineForms()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, clientUpdate);
    QFETCH(QString, clientType);
    QFETCH(int, version);
    QFETCH(QString, versionString);
    QFETCH(bool, queried);

    m_server.resetCounts();
    Configuration config;
    QSignalSpy ready(&config, &Configuration::ready);
    QSignalSpy fatal(&config, &Configuration::fatalError);
    QVERIFY(config.parseCommandLineOptions(arguments));
    QCOMPARE(config.m_clientUpdate, clientUpdate);
    QCOMPARE(config.m_clientType, clientType);
    QCOMPARE(config.m_channel, int(Configuration::STABLE));
    if (queried) {
        QVERIFY(!config.m_ready);
        QVERIFY(ready.wait(10000));
    } else {
        QVERIFY(config.m_ready);
        QTest::qWait(50);
        QCOMPARE(ready.count(), 0);
    }
    QCOMPARE(config.m_version, version);
    QCOMPARE(config.m_versionString, versionString);
    QCOMPARE(m_server.requestCount(QStringLiteral("/mv3-client-2")), queried ? 1 : 0);
    QCOMPARE(fatal.count(), 0);
}

void tst_Configuration::channelFromUpdateIni_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("url");

    const QString fixed = QStringLiteral(MV3_UPDATE_IMAGE_URL);
    QTest::newRow("no ini") << "" << QByteArray() << QStringList{"update", "x", "5"} << 0 << 5 << fixed;
    QTest::newRow("alpha revision wins over command line")
        << "config" << QByteArray("[Channel]\nalpha=http://alpha.example/img\nalphaRevno=500\n")
        << QStringList{"update", "client_linux_amd64", "123"} << 2 << 500 << "http://alpha.example/img/";
    QTest::newRow("alpha revision wins even over a bad command-line version")
        << "config" << QByteArray("[Channel]\nalpha=http://alpha.example/img/\nalphaRevno=500\n")
        << QStringList{"update", "client_linux_amd64", "abc"} << 2 << 500 << "http://alpha.example/img/";
    QTest::newRow("beta false, Beta true") << "config" << QByteArray("[Channel]\nbeta=false\nBeta=true\n")
                                           << QStringList{"update", "x", "5"} << 1 << 5 << fixed;
    QTest::newRow("beta") << "config" << QByteArray("[Channel]\nbeta=true\n") << QStringList{"update", "x", "5"} << 1
                          << 5 << fixed;
    QTest::newRow("install ini when config has none")
        << "install" << QByteArray("[Channel]\nbeta=true\n") << QStringList{"update", "x", "5"} << 1 << 5 << fixed;
    QTest::newRow("empty alpha is stable") << "config" << QByteArray("[Channel]\nalpha=\nalphaRevno=9\n")
                                           << QStringList{"update", "x", "5"} << 0 << 5 << fixed;
}

void tst_Configuration::channelFromUpdateIni()
{
    QFETCH(QString, where);
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(int, channel);
    QFETCH(int, version);
    QFETCH(QString, url);

    if (where == QLatin1String("config"))
        writeFile(m_dir.path() + QStringLiteral("/config/update.ini"), ini);
    else if (where == QLatin1String("install"))
        writeFile(installIni(), ini);
    // An install ini must lose against the config one.
    if (where == QLatin1String("config"))
        writeFile(installIni(), "[Channel]\nalpha=http://wrong.example/\n");

    Configuration::s_updateImageUrl = QStringLiteral("http://stale.example/");
    Configuration config;
    QVERIFY(config.parseCommandLineOptions(arguments));
    QCOMPARE(config.m_channel, channel);
    QCOMPARE(config.m_version, version);
    QVERIFY(config.m_ready);
    QCOMPARE(Configuration::s_updateImageUrl, url);
}

void tst_Configuration::configDirGetsSeparator()
{
    qputenv("MV3_CONFIG_DIR", "/some/where");
    QCOMPARE(Configuration::configDir(), QStringLiteral("/some/where/"));
    qputenv("MV3_CONFIG_DIR", "/some/where/");
    QCOMPARE(Configuration::configDir(), QStringLiteral("/some/where/"));
    qputenv("MV3_CONFIG_DIR", "");
    QCOMPARE(Configuration::configDir(), QDir::homePath() + QStringLiteral("/.mv3client/"));
}

void tst_Configuration::createTempDirSkipsExistingNames()
{
    const QString base = m_dir.path() + QStringLiteral("/tmp/morvane_temp_");
    for (int i = 0; i < 5; ++i)
        QVERIFY(QDir().mkdir(base + QString::number(i)));
    // A plain file of the next name cannot become a directory: the search goes on.
    writeFile(base + QStringLiteral("5"), "x");
    Configuration config;
    QVERIFY(config.createTempDir());
    QCOMPARE(config.m_tempDir, base + QStringLiteral("6"));
    QVERIFY(QFileInfo(config.m_tempDir).isDir());

    QSignalSpy fatal(&config, &Configuration::fatalError);
    // A temporary path that does not exist is no temporary path at all.
    qputenv("TMPDIR", (m_dir.path() + QStringLiteral("/missing")).toUtf8());
    QVERIFY(!config.createTempDir());
    // One where nothing can be created, not even by root.
    qputenv("TMPDIR", "/proc");
    QVERIFY(!config.createTempDir());
    QCOMPARE(fatal.count(), 2);
    QCOMPARE(fatal.at(0).at(0).toString(), QStringLiteral("Unable to get temp directory."));
    QCOMPARE(fatal.at(1).at(0).toString(), QStringLiteral("Unable to create temp directory."));
}

void tst_Configuration::streamsAndProxySettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("streams");
    QTest::addColumn<QString>("proxy");
    QTest::newRow("absent") << QByteArray() << 6 << "";
    QTest::newRow("zero") << QByteArray("[update]\nstreams=0\n") << 6 << "";
    QTest::newRow("negative") << QByteArray("[update]\nstreams=-3\n") << 6 << "";
    QTest::newRow("not a number") << QByteArray("[update]\nstreams=abc\n") << 6 << "";
    QTest::newRow("three and a proxy") << QByteArray("[update]\nstreams=3\nproxy=http://p.example:8080\n") << 3
                                       << "http://p.example:8080";
}

void tst_Configuration::streamsAndProxySettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, streams);
    QFETCH(QString, proxy);
    if (!ini.isEmpty())
        writeFile(installIni(), ini);
    Configuration config;
    config.readUpdateSettings();
    QCOMPARE(config.m_streams, streams);
    QCOMPARE(config.m_proxy, proxy);
}

void tst_Configuration::initalizeStartAdoptsOrCreates()
{
    Configuration config;
    QVERIFY(config.initalizeStart(QStringLiteral("/given/tmp"), QStringLiteral("/given/install")));
    QCOMPARE(config.m_tempDir, QStringLiteral("/given/tmp"));
    QCOMPARE(config.m_installDir, QStringLiteral("/given/install"));

    Configuration fresh;
    QVERIFY(fresh.initalizeStart(QString(), QString()));
    QCOMPARE(fresh.m_tempDir, m_dir.path() + QStringLiteral("/tmp/morvane_temp_0"));
    QCOMPARE(fresh.m_installDir, QCoreApplication::applicationDirPath());
}

void tst_Configuration::serverAnswers_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("fatal");
    QTest::newRow("accepted") << 1 << "42"
                              << "";
    QTest::newRow("missing channel") << 2 << ""
                                     << "Update server returned no version";
    QTest::newRow("empty number") << 0 << ""
                                  << "Update server returned no version";
    QTest::newRow("not a number") << 0 << "4294967295"
                                  << "Update server returned invalid version nr (4294967295)";
    QTest::newRow("zero") << 0 << "0"
                          << "Update server returned invalid version nr (0)";
}

void tst_Configuration::serverAnswers()
{
    QFETCH(int, channel);
    QFETCH(QString, number);
    QFETCH(QString, fatal);

    Configuration config;
    config.m_channel = channel;
    QSignalSpy ready(&config, &Configuration::ready);
    QSignalSpy fatalSpy(&config, &Configuration::fatalError);
    UpdateVersions versions;
    versions[QStringLiteral("stable")] = qMakePair(channel == 0 ? number : QStringLiteral("41"), QStringLiteral("s"));
    if (channel == 1)
        versions[QStringLiteral("beta")] = qMakePair(number, QStringLiteral("4.2"));
    config.on_updateAvailable(versions);
    if (fatal.isEmpty()) {
        QCOMPARE(ready.count(), 1);
        QVERIFY(config.m_ready);
        QCOMPARE(config.m_version, 42);
        QCOMPARE(config.m_versionString, QStringLiteral("4.2"));
    } else {
        QCOMPARE(ready.count(), 0);
        QVERIFY(!config.m_ready);
        QCOMPARE(fatalSpy.count(), 1);
        QCOMPARE(fatalSpy.at(0).at(0).toString(), fatal);
    }
}

void tst_Configuration::failedQueryShowsAbortBoxAndQuits()
{
    Configuration config;
    QSignalSpy ready(&config, &Configuration::ready);
    BoxAnswerer answerer(QMessageBox::Abort);
    // Delivered into the running application loop, which the failure then ends with 0.
    QTimer::singleShot(0, &config, [&config]() { config.on_updateAvailable(UpdateVersions()); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(answerer.answered);
    QCOMPARE(answerer.title, QStringLiteral("Error"));
    QCOMPARE(answerer.text, QStringLiteral("Failed to query latest client\nversion from update server."));
    QCOMPARE(answerer.buttons, QMessageBox::StandardButtons(QMessageBox::Abort));
    QCOMPARE(ready.count(), 0);
}

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
