// Tests UpdateEngine: proxy, session continuation and cleanup, a whole run per phase, leftover removal.
#include "configuration.h"
#include "updateengine.h"
#include "updateinidata.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString &path, const QByteArray &content = QByteArray("x"))
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList result;
    for (const QList<QVariant> &args : spy)
        result << args.at(0).toString();
    return result;
}

} // namespace

class tst_UpdateEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void proxySetting_data();
    void proxySetting();
    void invalidProxyReachesLateListenerAndBlocksSession();
    void freshSessionIsRecorded();
    void sameVersionContinuesSession();
    void otherVersionCleansPreviousSession();
    void foreignSessionDirectoryIsNotEmptied();
    void recordWithVanishedDirectoryCountsAsNone();
    void wholeRunPerPhase_data();
    void wholeRunPerPhase();
    void cancelOutsideRunDoesNothing();
    void leftoverRemoval();
    void removeDirectoryContentsKeepsSymlinks();

private:
    QString tmp() const { return m_dir.path() + QStringLiteral("/tmp"); }
    void writeRecord(int version, const QString &dir, const QByteArray &extra = QByteArray());

    QTemporaryDir m_dir;
};

void tst_UpdateEngine::init()
{
    cleanup();
    QDir(m_dir.path()).removeRecursively();
    QVERIFY(QDir().mkpath(tmp()));
    qputenv("TMPDIR", tmp().toUtf8());
}

void tst_UpdateEngine::cleanup()
{
    QFile::remove(UpdateIniData::updateIniPath());
}

void tst_UpdateEngine::writeRecord(int version, const QString &dir, const QByteArray &extra)
{
    writeFile(UpdateIniData::updateIniPath(), "[current]\nversion=" + QByteArray::number(version) +
                                                  "\ndir=" + dir.toUtf8() +
                                                  "\nmv3dir=/opt/recorded\ntype=update_linux_amd64\n" + extra);
}

void tst_UpdateEngine::proxySetting_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("none") << "" << int(QNetworkProxy::NoProxy) << "" << 0;
    QTest::newRow("with port") << "http://proxy.example:8080" << int(QNetworkProxy::HttpProxy) << "proxy.example"
                               << 8080;
    QTest::newRow("without port") << "http://proxy.example" << int(QNetworkProxy::HttpProxy) << "proxy.example" << 3128;
    QTest::newRow("credentials dropped") << "http://user:pw@10.1.2.3:81/" << int(QNetworkProxy::HttpProxy) << "10.1.2.3"
                                         << 81;
}

void tst_UpdateEngine::proxySetting()
{
    QFETCH(QString, setting);
    QFETCH(int, type);
    QFETCH(QString, host);
    QFETCH(int, port);
    if (!setting.isEmpty())
        writeFile(UpdateIniData::updateIniPath(), "[update]\nproxy=\"" + setting.toUtf8() + "\"\n");

    Configuration config;
    UpdateEngine engine(&config, nullptr);
    QSignalSpy fatal(&engine, &UpdateEngine::fatalError);
    const QNetworkProxy proxy = engine.networkManager()->proxy();
    QCOMPARE(int(proxy.type()), type);
    QCOMPARE(proxy.hostName(), host);
    if (type == QNetworkProxy::HttpProxy) {
        QCOMPARE(int(proxy.port()), port);
        QVERIFY(proxy.user().isEmpty());
        QVERIFY(proxy.password().isEmpty());
    }
    QTest::qWait(20);
    QCOMPARE(fatal.count(), 0);
}

void tst_UpdateEngine::invalidProxyReachesLateListenerAndBlocksSession()
{
    for (const QByteArray &setting : {QByteArray("proxy:8080"), QByteArray("http://exa mple:80")}) {
        writeFile(UpdateIniData::updateIniPath(), "[update]\nproxy=\"" + setting + "\"\n");
        Configuration config;
        config.m_version = 4;
        UpdateEngine engine(&config, nullptr);
        // Connected after construction, as the window does.
        QSignalSpy fatal(&engine, &UpdateEngine::fatalError);
        QVERIFY(fatal.wait(2000));
        QCOMPARE(fatal.count(), 1);
        QCOMPARE(fatal.at(0).at(0).toString(),
                 QStringLiteral("'%1' is an invalid proxy specification").arg(QString::fromUtf8(setting)));
        QVERIFY(!engine.initialize());
        QCOMPARE(engine.state(), int(UpdateEngine::PRE_INIT));
    }
}

void tst_UpdateEngine::freshSessionIsRecorded()
{
    Configuration config;
    config.m_version = 12;
    config.m_clientType = QStringLiteral("update_linux_amd64");
    UpdateEngine engine(&config, nullptr);
    QVERIFY(!engine.isSessionActive());
    QVERIFY(engine.initialize());
    QCOMPARE(engine.state(), int(UpdateEngine::POST_INIT));
    QVERIFY(engine.isSessionActive());
    QCOMPARE(config.m_tempDir, tmp() + QStringLiteral("/morvane_temp_0"));
    QCOMPARE(config.m_installDir, QCoreApplication::applicationDirPath());

    int version = 0;
    QString type, dir, mv3dir;
    QVERIFY(UpdateIniData::get(&version, &type, &dir, &mv3dir));
    QCOMPARE(version, 12);
    QCOMPARE(dir, config.m_tempDir);
    QCOMPARE(mv3dir, config.m_installDir);
    QCOMPARE(type, QStringLiteral("update_linux_amd64"));
}

void tst_UpdateEngine::sameVersionContinuesSession()
{
    const QString session = tmp() + QStringLiteral("/morvane_temp_3");
    QVERIFY(QDir().mkpath(session));
    writeFile(session + QStringLiteral("/downloaded.bin"));
    writeRecord(3, session);

    Configuration config;
    config.m_version = 3;
    config.m_clientType = QStringLiteral("update_linux_amd64");
    UpdateEngine engine(&config, nullptr);
    QSignalSpy messages(&engine, &UpdateEngine::message);
    QVERIFY(engine.initialize());
    QCOMPARE(texts(messages), QStringList{"Previous update session for v. 3 found"});
    QCOMPARE(config.m_tempDir, session);
    QCOMPARE(config.m_installDir, QStringLiteral("/opt/recorded"));
    QVERIFY(QFile::exists(session + QStringLiteral("/downloaded.bin")));
}

void tst_UpdateEngine::otherVersionCleansPreviousSession()
{
    const QString session = tmp() + QStringLiteral("/morvane_temp_3");
    QVERIFY(QDir().mkpath(session + QStringLiteral("/sub/deeper")));
    writeFile(session + QStringLiteral("/sub/deeper/file"));
    writeFile(session + QStringLiteral("/.hidden"));
    writeRecord(2, session, "[Channel]\nbeta=true\n");

    Configuration config;
    config.m_version = 3;
    config.m_clientType = QStringLiteral("update_linux_amd64");
    UpdateEngine engine(&config, nullptr);
    QSignalSpy messages(&engine, &UpdateEngine::message);
    QVERIFY(engine.initialize());
    QCOMPARE(texts(messages),
             (QStringList{QStringLiteral("Cleanup previous session (v. 2, %1) files...").arg(session), "Ok"}));
    QVERIFY(!QFileInfo::exists(session));
    QCOMPARE(config.m_tempDir, tmp() + QStringLiteral("/morvane_temp_0"));
    QCOMPARE(config.m_installDir, QCoreApplication::applicationDirPath());
    // The file was deleted and written anew: only the new record is in it.
    QSettings settings(UpdateIniData::updateIniPath(), QSettings::IniFormat);
    QCOMPARE(settings.childGroups(), QStringList{"current"});
    QCOMPARE(settings.value(QStringLiteral("current/version")).toInt(), 3);
}

void tst_UpdateEngine::foreignSessionDirectoryIsNotEmptied()
{
    // An edited record must not make the updater empty an arbitrary directory.
    const QString foreign = m_dir.path() + QStringLiteral("/documents");
    QVERIFY(QDir().mkpath(foreign));
    writeFile(foreign + QStringLiteral("/letter.txt"));
    writeRecord(2, foreign);

    Configuration config;
    config.m_version = 3;
    config.m_clientType = QStringLiteral("t");
    UpdateEngine engine(&config, nullptr);
    QSignalSpy messages(&engine, &UpdateEngine::message);
    QVERIFY(engine.initialize());
    QCOMPARE(texts(messages).last(), QStringLiteral("Failed to remove directory"));
    QVERIFY(QFile::exists(foreign + QStringLiteral("/letter.txt")));
    QCOMPARE(config.m_tempDir, tmp() + QStringLiteral("/morvane_temp_0"));
}

void tst_UpdateEngine::recordWithVanishedDirectoryCountsAsNone()
{
    writeRecord(2, tmp() + QStringLiteral("/morvane_temp_7"));
    Configuration config;
    config.m_version = 3;
    config.m_clientType = QStringLiteral("t");
    UpdateEngine engine(&config, nullptr);
    QSignalSpy messages(&engine, &UpdateEngine::message);
    QVERIFY(engine.initialize());
    QCOMPARE(messages.count(), 0);
    QCOMPARE(config.m_tempDir, tmp() + QStringLiteral("/morvane_temp_0"));
}

void tst_UpdateEngine::wholeRunPerPhase_data()
{
    QTest::addColumn<int>("clientUpdate");
    QTest::addColumn<QStringList>("expectedMessages");
    QTest::addColumn<bool>("tempDirStays");
    QTest::newRow("updater") << 0
                             << QStringList{"Starting update process for updater", "Removed temporary update.ini",
                                            "Update successfully finished"}
                             << true;
    QTest::newRow("client") << 1
                            << QStringList{"Starting update process for client", "Remove temporary files...",
                                           "Temporary files removed.", "Update successfully finished"}
                            << false;
}

void tst_UpdateEngine::wholeRunPerPhase()
{
    QFETCH(int, clientUpdate);
    QFETCH(QStringList, expectedMessages);
    QFETCH(bool, tempDirStays);

    Configuration config;
    config.m_version = 8;
    config.m_clientUpdate = clientUpdate;
    config.m_clientType = Configuration::defaultClientType(clientUpdate);
    UpdateEngine engine(&config, nullptr);
    QSignalSpy messages(&engine, &UpdateEngine::message);
    QSignalSpy finished(&engine, &UpdateEngine::updateFinished);
    QSignalSpy canceled(&engine, &UpdateEngine::updateCanceled);
    QSignalSpy downloads(&engine, &UpdateEngine::downloadProgress);
    QSignalSpy progress(&engine, &UpdateEngine::updateProgress);
    QVERIFY(engine.initialize());
    writeFile(config.m_tempDir + QStringLiteral("/payload"));
    QVERIFY(engine.startUpdate());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(canceled.count(), 0);
    QCOMPARE(engine.state(), int(UpdateEngine::FINISHED));
    QVERIFY(!engine.isSessionActive());
    QCOMPARE(texts(messages), expectedMessages);
    QCOMPARE(downloads.last(), (QList<QVariant>{0ULL, 0ULL, 0ULL, false}));
    QCOMPARE(progress.last().at(0).toReal(), 1.0);
    QVERIFY(!QFile::exists(UpdateIniData::updateIniPath()));
    QCOMPARE(QFileInfo::exists(config.m_tempDir), tempDirStays);

    // After the end a cancel request changes nothing.
    engine.cancelUpdate();
    QCOMPARE(engine.state(), int(UpdateEngine::FINISHED));
    QTest::qWait(20);
    QCOMPARE(canceled.count(), 0);
}

void tst_UpdateEngine::cancelOutsideRunDoesNothing()
{
    Configuration config;
    config.m_version = 8;
    config.m_clientType = QStringLiteral("t");
    UpdateEngine engine(&config, nullptr);
    QSignalSpy canceled(&engine, &UpdateEngine::updateCanceled);
    engine.cancelUpdate();
    QCOMPARE(engine.state(), int(UpdateEngine::PRE_INIT));
    QVERIFY(engine.initialize());
    engine.cancelUpdate();
    QCOMPARE(engine.state(), int(UpdateEngine::POST_INIT));
    QTest::qWait(20);
    QCOMPARE(canceled.count(), 0);
}

void tst_UpdateEngine::leftoverRemoval()
{
    const QString dir = m_dir.path() + QStringLiteral("/install");
    QVERIFY(QDir().mkpath(dir));
    const QStringList removedOld = {"_old_update", "_old_libQt5Core.so.5", "_old_libqjpeg.so", "_old_libsqlite.so"};
    const QStringList removedQt4 = {"libQtCore.so.4", "libQtSql.so.4"};
    const QStringList kept = {"update", "libQt5Core.so.5", "_old_other.so", "libQtCore.so.5", "_old_libQtXml.so.4"};
    for (const QString &name : removedOld + removedQt4 + kept)
        writeFile(dir + QLatin1Char('/') + name);

    UpdateEngine::removeQt4Files(dir);
    UpdateEngine::removeOldFiles(dir);
    QStringList remaining = QDir(dir).entryList(QDir::Files);
    remaining.sort();
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(remaining, expected);
}

void tst_UpdateEngine::removeDirectoryContentsKeepsSymlinks()
{
    const QString target = m_dir.path() + QStringLiteral("/target");
    QVERIFY(QDir().mkpath(target));
    writeFile(target + QStringLiteral("/precious"));
    const QString victim = tmp() + QStringLiteral("/morvane_temp_1");
    QVERIFY(QDir().mkpath(victim + QStringLiteral("/a/b")));
    writeFile(victim + QStringLiteral("/a/b/f"));
    writeFile(victim + QStringLiteral("/.hidden"));
    QVERIFY(QFile::link(target, victim + QStringLiteral("/a/link")));

    UpdateEngine::removeDirectoryContents(victim);
    // Links are neither followed nor removed; the directory holding one stays.
    QVERIFY(QFile::exists(target + QStringLiteral("/precious")));
    QVERIFY(QFileInfo(victim + QStringLiteral("/a/link")).isSymLink());
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/a/b")));
    QVERIFY(!QFileInfo::exists(victim + QStringLiteral("/.hidden")));
}

QTEST_GUILESS_MAIN(tst_UpdateEngine)
#include "tst_updateengine.moc"
