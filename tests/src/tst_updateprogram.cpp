// Runs the real update program in a throw-away installation and checks exit codes, log, update.ini and notices.
#include "UpdateMessage.pb.h"
#include "testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {

const quint16 versionServerPort = 18380;
const char versionPath[] = "/mv3-client-2";

struct ChannelAnswer {
    const char *name;
    int number;
    const char *text;
};

QByteArray versionsMessage(std::initializer_list<ChannelAnswer> channels)
{
    com::morvane::update::Versions versions;
    versions.set_licenseagreementid(7);
    for (const ChannelAnswer &answer : channels) {
        auto *channel = versions.add_channels();
        channel->set_name(answer.name);
        channel->set_version_number(answer.number);
        channel->set_version_string(answer.text);
    }
    const std::string bytes = versions.SerializeAsString();
    return QByteArray(bytes.data(), int(bytes.size()));
}

void writeFile(const QString &path, const QByteArray &content, QFile::Permissions permissions = {})
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
    file.close();
    if (permissions)
        file.setPermissions(permissions);
}

// A script that records its arguments and working directory, standing in for the next program.
QByteArray recorderScript(const QString &recordPath)
{
    return "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > '" + recordPath.toUtf8() + "'\n";
}

const QFile::Permissions executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// One installation with its own configuration, home and temporary directories.
class Installation
{
public:
    Installation()
    {
        for (const char *sub : {"install", "config", "home", "tmp"})
            QDir(m_root.path()).mkpath(QLatin1String(sub));
        QFile::copy(QStringLiteral(UPDATE_PROGRAM), program());
        QFile(program()).setPermissions(executable);
        enableLog(true);
    }

    QString path(const char *sub) const { return m_root.path() + QLatin1Char('/') + QLatin1String(sub); }
    QString installDir() const { return path("install"); }
    QString tmpDir() const { return path("tmp"); }
    QString program() const { return installDir() + QStringLiteral("/update"); }
    QString updateIni() const { return installDir() + QStringLiteral("/update.ini"); }

    void enableLog(bool on)
    {
        const QString marker = tmpDir() + QStringLiteral("/mv3_update_log");
        if (on)
            writeFile(marker, QByteArray());
        else
            QFile::remove(marker);
    }

    QStringList logFiles() const
    {
        return QDir(tmpDir() + QStringLiteral("/morvane_update_log")).entryList(QDir::Files, QDir::Name);
    }

    QString log() const
    {
        QString all;
        for (const QString &name : logFiles()) {
            QFile file(tmpDir() + QStringLiteral("/morvane_update_log/") + name);
            if (file.open(QIODevice::ReadOnly))
                all += QString::fromLocal8Bit(file.readAll());
        }
        return all;
    }

private:
    QTemporaryDir m_root;
};

// The update program as a child process, with the dialog pilot plugin answering its boxes.
class UpdateRun
{
public:
    explicit UpdateRun(const Installation &installation, const QString &program = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("MV3_CONFIG_DIR"), installation.path("config"));
        env.insert(QStringLiteral("HOME"), installation.path("home"));
        env.insert(QStringLiteral("TMPDIR"), installation.tmpDir());
        env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("dialogpilot"));
        env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(DIALOG_PILOT_PLUGIN_PATH));
        m_process.setProcessEnvironment(env);
        m_process.setProgram(program.isEmpty() ? installation.program() : program);
        m_process.setWorkingDirectory(installation.installDir());
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this]() { m_output += m_process.readAllStandardOutput(); });
    }

    ~UpdateRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void setEnvironment(const QString &name, const QString &value)
    {
        QProcessEnvironment env = m_process.processEnvironment();
        env.insert(name, value);
        m_process.setProcessEnvironment(env);
    }

    void start(const QStringList &arguments)
    {
        m_process.setArguments(arguments);
        m_process.start();
    }

    bool waitStarted() { return m_process.waitForStarted(10000); }

    // Lines the dialog pilot printed so far.
    QStringList lines() const { return QString::fromUtf8(m_output).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    bool hasLine(const QString &line) const { return lines().contains(line); }

    void command(const QByteArray &text) { m_process.write(text + '\n'); }

    bool finished() const { return m_process.state() == QProcess::NotRunning; }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }

    QProcess m_process;

private:
    QByteArray m_output;
};

QString boxLine(const QString &title, QString text)
{
    return QStringLiteral("box\t") + title + QLatin1Char('\t') + text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

} // namespace

class tst_UpdateProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandLineForms_data();
    void commandLineForms();
    void invalidCommandLineVersionShowsBoxAndExitsOne();
    void translationsBesideProgramAreUsed();
    void versionServerFailure_data();
    void versionServerFailure();
    void serverAnswerRejected_data();
    void serverAnswerRejected();
    void invalidProxyIsFatalWithExitTwo();
    void unwritableInstallationReportsWritePermission_data();
    void unwritableInstallationReportsWritePermission();
    void continuedSessionStartsNewUpdaterWithSecondPhaseArguments();
    void secondPhaseRemovesSessionAndStartsClientRunScript();
    void lateVersionAnswerStartsUpdateOnReady();
    void secondInstanceExitsAndFirstComesToFront();
    void staleSocketFileDoesNotBlock();
    void leftoversRemovedAtStart();
    void logLinesFollowFormatAndNeedMarker();

private:
    // Waits for the program to end by itself; answers nothing.
    void waitForExit(UpdateRun &run, int timeoutMs = 20000);
    void waitForBox(UpdateRun &run, const QString &title, const QString &text);

    std::unique_ptr<TestHttpServer> m_server;
};

void tst_UpdateProgram::init()
{
    m_server.reset(new TestHttpServer);
    QVERIFY2(m_server->start(versionServerPort), "the fixed version-server port is busy");
}

void tst_UpdateProgram::cleanup()
{
    m_server.reset();
}

void tst_UpdateProgram::waitForExit(UpdateRun &run, int timeoutMs)
{
    QTRY_VERIFY_WITH_TIMEOUT(run.finished(), timeoutMs);
}

void tst_UpdateProgram::waitForBox(UpdateRun &run, const QString &title, const QString &text)
{
    const QString expected = boxLine(title, text);
    QTRY_VERIFY2_WITH_TIMEOUT(run.hasLine(expected), qPrintable(run.lines().join(QLatin1Char('|'))), 20000);
}

void tst_UpdateProgram::commandLineForms_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("expectedQueries");
    QTest::addColumn<QString>("expectedType");
    QTest::addColumn<int>("expectedVersion");
    QTest::addColumn<QString>("formLine");

    QTest::newRow("no arguments") << QStringList() << 1 << "update_linux_amd64" << 41 << "Empty cmdline params";
    QTest::newRow("--nouser alone") << QStringList{"--nouser"} << 1 << "update_linux_amd64" << 41
                                    << "CLIENTUPDATE false";
    QTest::newRow("--nouser with type and version") << QStringList{"--nouser", "update_linux_amd64", "77", "#"} << 0
                                                    << "update_linux_amd64" << 77 << "CLIENTUPDATE false";
    QTest::newRow("type and version") << QStringList{"update_linux_amd64", "55"} << 0 << "update_linux_amd64" << 55
                                      << "parseCommandLineOptions";
    QTest::newRow("other form") << QStringList{"a", "b", "c"} << 1 << "update_linux_amd64" << 41
                                << "Empty cmdline params";
}

// Every first-phase form ends the same way: record written, update run, record removed, exit 0.
void tst_UpdateProgram::commandLineForms()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, expectedQueries);
    QFETCH(QString, expectedType);
    QFETCH(int, expectedVersion);
    QFETCH(QString, formLine);

    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1"}, {"beta", 42, "4.2b"}}));
    Installation installation;
    UpdateRun run(installation);
    run.start(arguments);
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(m_server->requestCount(QLatin1String(versionPath)), expectedQueries);

    const QString log = installation.log();
    QVERIFY2(log.contains(formLine), qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("Update engine initialized")), 1);
    QVERIFY(log.contains(QStringLiteral("modify \"%1\" %2").arg(installation.updateIni()).arg(expectedVersion)));
    QVERIFY(log.contains(QStringLiteral("\"%1\"").arg(expectedType)));
    // First phase: the record goes away, the temporary directory stays for the new updater.
    QVERIFY(!QFile::exists(installation.updateIni()));
    QVERIFY(QFileInfo(installation.tmpDir() + QStringLiteral("/morvane_temp_0")).isDir());
    QVERIFY(log.contains(QStringLiteral("Failed to find \"%1/morvane_temp_0/update\"").arg(installation.tmpDir())));
}

void tst_UpdateProgram::invalidCommandLineVersionShowsBoxAndExitsOne()
{
    Installation installation;
    UpdateRun run(installation);
    run.start({QStringLiteral("client_linux_amd64"), QStringLiteral("abc")});
    waitForBox(run, QStringLiteral("Error"), QStringLiteral("Invalid version nr (abc)"));
    run.command("press Ok");
    waitForExit(run);
    QCOMPARE(run.exitCode(), 1);
    QVERIFY(installation.log().contains(QStringLiteral("Failed to parse command line options, aborting")));
    QCOMPARE(m_server->totalRequestCount(), 0);
    // The window was never shown.
    QVERIFY(!run.hasLine(QStringLiteral("activated\tMainWindow")));
}

void tst_UpdateProgram::translationsBesideProgramAreUsed()
{
    Installation installation;
    const QString translations = installation.installDir() + QStringLiteral("/translations");
    QVERIFY(QDir().mkpath(translations));
    QVERIFY(QFile::copy(QFileInfo(QStringLiteral(UPDATE_PROGRAM)).absolutePath() +
                            QStringLiteral("/translations/update_de.qm"),
                        translations + QStringLiteral("/update_de.qm")));
    UpdateRun run(installation);
    run.setEnvironment(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    run.setEnvironment(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    run.start({QStringLiteral("client_linux_amd64"), QStringLiteral("abc")});
    waitForBox(run, QStringLiteral("Fehler"), QStringLiteral("Ungültige Versionsnummer (abc)"));
    run.command("press Ok");
    waitForExit(run);
    QCOMPARE(run.exitCode(), 1);
}

void tst_UpdateProgram::versionServerFailure_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("unreachable") << "unreachable";
    QTest::newRow("404") << "404";
    QTest::newRow("redirect") << "redirect";
    QTest::newRow("empty body") << "empty";
    QTest::newRow("required field missing") << "partial";
    QTest::newRow("garbage") << "garbage";
}

void tst_UpdateProgram::versionServerFailure()
{
    QFETCH(QString, failure);
    const QString path = QLatin1String(versionPath);
    if (failure == QLatin1String("unreachable")) {
        m_server.reset();
    } else if (failure == QLatin1String("404")) {
        TestHttpServer::Fault fault;
        fault.status = 404;
        m_server->setFault(path, fault);
    } else if (failure == QLatin1String("redirect")) {
        m_server->setBody(QStringLiteral("/elsewhere"), versionsMessage({{"stable", 41, "4.1"}}));
        TestHttpServer::Fault fault;
        fault.redirectTo = QStringLiteral("/elsewhere");
        m_server->setFault(path, fault);
    } else if (failure == QLatin1String("empty")) {
        m_server->setBody(path, QByteArray());
    } else if (failure == QLatin1String("partial")) {
        // A complete "stable" channel and a "beta" channel without its version string.
        com::morvane::update::Versions versions;
        versions.set_licenseagreementid(1);
        auto *stable = versions.add_channels();
        stable->set_name("stable");
        stable->set_version_number(41);
        stable->set_version_string("4.1");
        auto *beta = versions.add_channels();
        beta->set_name("beta");
        beta->set_version_number(42);
        const std::string bytes = versions.SerializePartialAsString();
        m_server->setBody(path, QByteArray(bytes.data(), int(bytes.size())));
    } else {
        m_server->setBody(path, QByteArray("\xff\xff\xff\xff not protobuf", 17));
    }

    Installation installation;
    UpdateRun run(installation);
    run.start({});
    waitForBox(run, QStringLiteral("Error"),
               QStringLiteral("Failed to query latest client\nversion from update server."));
    run.command("press Abort");
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(!QFile::exists(installation.updateIni()));
    QVERIFY(!installation.log().contains(QStringLiteral("Update engine initialized")));
}

void tst_UpdateProgram::serverAnswerRejected_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("channelIni");
    QTest::addColumn<QString>("expectedBox");

    QTest::newRow("channel missing") << versionsMessage({{"stable", 41, "4.1"}, {"beta", 42, "4.2"}})
                                     << "[Channel]\nalpha=http://127.0.0.1:18380/alpha\n"
                                     << "Update server returned no version";
    QTest::newRow("no channels at all") << versionsMessage({}) << QString()
                                        << "Failed to query latest client\nversion from update server.";
    QTest::newRow("version -1") << versionsMessage({{"stable", -1, "broken"}}) << QString()
                                << "Update server returned invalid version nr (4294967295)";
    QTest::newRow("beta via capitalised key, empty version")
        << versionsMessage({{"stable", 41, "4.1"}, {"beta", 0, ""}}) << "[Channel]\nbeta=false\nBeta=true\n"
        << "Update server returned invalid version nr (0)";
    QTest::newRow("alpha without revision asks for the alpha channel")
        << versionsMessage({{"stable", 41, "4.1"}, {"alpha", -7, "x"}})
        << "[Channel]\nalpha=http://127.0.0.1:18380/alpha\nalphaRevno=0\n"
        << "Update server returned invalid version nr (4294967289)";
}

void tst_UpdateProgram::serverAnswerRejected()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, channelIni);
    QFETCH(QString, expectedBox);

    m_server->setBody(QLatin1String(versionPath), answer);
    Installation installation;
    if (!channelIni.isEmpty())
        writeFile(installation.path("config") + QStringLiteral("/update.ini"), channelIni.toUtf8());
    UpdateRun run(installation);
    run.start({});
    waitForBox(run, QStringLiteral("Error"), expectedBox);
    const bool queryFailed = expectedBox.startsWith(QLatin1String("Failed to query"));
    run.command(queryFailed ? "press Abort" : "press Ok");
    waitForExit(run);
    QCOMPARE(run.exitCode(), queryFailed ? 0 : 1);
    QVERIFY(!QFile::exists(installation.updateIni()));
}

void tst_UpdateProgram::invalidProxyIsFatalWithExitTwo()
{
    Installation installation;
    writeFile(installation.updateIni(), "[update]\nproxy=\"http://:bad host:x/\"\n");
    UpdateRun run(installation);
    run.start({QStringLiteral("update_linux_amd64"), QStringLiteral("5")});
    waitForBox(run, QStringLiteral("Error"), QStringLiteral("'http://:bad host:x/' is an invalid proxy specification"));
    run.command("press Ok");
    waitForExit(run);
    QCOMPARE(run.exitCode(), 2);
    // The engine never started a session with the proxy left unset.
    QVERIFY(!installation.log().contains(QStringLiteral("Update engine initialized")));
}

void tst_UpdateProgram::unwritableInstallationReportsWritePermission_data()
{
    QTest::addColumn<bool>("readOnlyDirectory");
    // A directory where the record belongs cannot be written, even by root.
    QTest::newRow("record path is a directory") << false;
    QTest::newRow("read-only installation") << true;
}

void tst_UpdateProgram::unwritableInstallationReportsWritePermission()
{
    QFETCH(bool, readOnlyDirectory);
    if (readOnlyDirectory && ::geteuid() == 0)
        QSKIP("root writes into read-only directories");
    Installation installation;
    if (readOnlyDirectory)
        QVERIFY(QFile(installation.installDir()).setPermissions(QFile::ReadOwner | QFile::ExeOwner));
    else
        QVERIFY(QDir().mkdir(installation.updateIni()));
    UpdateRun run(installation);
    run.start({QStringLiteral("update_linux_amd64"), QStringLiteral("5")});
    waitForBox(run, QStringLiteral("Error"),
               QStringLiteral("Failed to write update.ini. The updater does not seem to have the required write "
                              "permissions."));
    run.command("press Ok");
    // The window stays open after an engine error; closing it ends the program normally.
    QTest::qWait(300);
    QVERIFY(!run.finished());
    run.command("close");
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(installation.log().contains(QStringLiteral("Failed to write to update.ini")));
    QFile(installation.installDir()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void tst_UpdateProgram::continuedSessionStartsNewUpdaterWithSecondPhaseArguments()
{
    Installation installation;
    const QString sessionDir = installation.tmpDir() + QStringLiteral("/morvane_temp_3");
    QVERIFY(QDir().mkpath(sessionDir));
    const QString record = installation.path("home") + QStringLiteral("/new-updater-args");
    writeFile(sessionDir + QStringLiteral("/update"), recorderScript(record), executable);
    writeFile(installation.updateIni(), "[current]\nversion=41\ndir=" + sessionDir.toUtf8() +
                                            "\nmv3dir=" + installation.installDir().toUtf8() +
                                            "\ntype=update_linux_amd64\n[update]\nstreams=2\n");
    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1.0"}}));

    UpdateRun run(installation);
    run.start({});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    const QString log = installation.log();
    QVERIFY2(log.contains(QStringLiteral("Continuing previous session")), qPrintable(log));
    QVERIFY(!QFileInfo::exists(installation.tmpDir() + QStringLiteral("/morvane_temp_0")));

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(record).size() > 0, true, 5000);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{sessionDir, "--clientupdate", "client_linux_amd64", "41", "4.1.0"}));
    // The record goes; the other groups of the file went with it.
    QVERIFY(!QFile::exists(installation.updateIni()));
}

void tst_UpdateProgram::secondPhaseRemovesSessionAndStartsClientRunScript()
{
    Installation installation;
    const QString sessionDir = installation.tmpDir() + QStringLiteral("/morvane_temp_0");
    QVERIFY(QDir().mkpath(sessionDir + QStringLiteral("/sub")));
    writeFile(sessionDir + QStringLiteral("/sub/payload"), "x");
    // The second phase runs from the session directory, with the record copied there.
    const QString program = sessionDir + QStringLiteral("/update");
    QVERIFY(QFile::copy(installation.program(), program));
    QFile(program).setPermissions(executable);
    writeFile(sessionDir + QStringLiteral("/update.ini"), "[current]\nversion=123\ndir=" + sessionDir.toUtf8() +
                                                              "\nmv3dir=" + installation.installDir().toUtf8() +
                                                              "\ntype=client_linux_amd64\n");
    const QString record = installation.path("home") + QStringLiteral("/client-started");
    writeFile(installation.installDir() + QStringLiteral("/mv3client_runscript.sh"), recorderScript(record),
              executable);
    // Second phase keeps the client's notice files.
    writeFile(installation.tmpDir() + QStringLiteral("/mv3_force_update_check"), QByteArray());

    UpdateRun run(installation, program);
    run.start({QStringLiteral("--clientupdate"), QStringLiteral("client_linux_amd64"), QStringLiteral("123"),
               QStringLiteral("#")});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(m_server->totalRequestCount(), 0);
    const QString log = installation.log();
    QVERIFY2(log.contains(QStringLiteral("CLIENTUPDATE true")), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Continuing previous session")));
    QVERIFY(!QFileInfo::exists(sessionDir));
    QVERIFY(QFile::exists(installation.tmpDir() + QStringLiteral("/mv3_force_update_check")));

    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(record).size() > 0, 10000);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).trimmed(), installation.installDir());
}

void tst_UpdateProgram::lateVersionAnswerStartsUpdateOnReady()
{
    TestHttpServer::Fault slow;
    slow.delayMs = 3000;
    m_server->setFault(QLatin1String(versionPath), slow);
    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1"}}));
    Installation installation;
    UpdateRun run(installation);
    run.start({});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    const QString log = installation.log();
    const int refused = log.indexOf(QStringLiteral("Aborting start update, configuration not yet ready"));
    const int started = log.indexOf(QStringLiteral("Update engine initialized"));
    QVERIFY2(refused >= 0 && started > refused, qPrintable(log));
    QCOMPARE(log.count(QStringLiteral("Update engine initialized")), 1);
}

void tst_UpdateProgram::secondInstanceExitsAndFirstComesToFront()
{
    // The first instance waits for a version server that never answers.
    TestHttpServer::Fault stall;
    stall.delayMs = 60000;
    m_server->setFault(QLatin1String(versionPath), stall);
    Installation installation;
    UpdateRun first(installation);
    first.start({});
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestCount(QLatin1String(versionPath)) == 1, 20000);
    const QString activated = QStringLiteral("activated\tMainWindow");
    QTRY_VERIFY_WITH_TIMEOUT(first.lines().count(activated) >= 1, 10000);
    // The user switches to another window, so that the window coming back to the front is seen.
    first.command("focus-elsewhere");
    QTRY_VERIFY2_WITH_TIMEOUT(first.hasLine(QStringLiteral("activated\tOtherWindow")),
                              qPrintable(first.lines().join(QLatin1Char('|'))), 5000);
    const int activations = first.lines().count(activated);

    UpdateRun second(installation);
    second.start({});
    waitForExit(second);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(installation.log().contains(QStringLiteral("Detected other instance running, aborting")));
    QVERIFY(!first.finished());
    QTRY_VERIFY_WITH_TIMEOUT(first.lines().count(activated) > activations, 5000);
    QCOMPARE(m_server->requestCount(QLatin1String(versionPath)), 1);

    // Nothing runs yet, so closing needs no question.
    first.command("close");
    waitForExit(first);
    QCOMPARE(first.exitCode(), 0);
}

void tst_UpdateProgram::staleSocketFileDoesNotBlock()
{
    Installation installation;
    // What a crashed instance leaves behind: a file under the guard's name in the temporary path.
    QString key = installation.program().toLower() + installation.path("home");
    key.remove(QLatin1Char('/'));
    key.remove(QLatin1Char(':'));
    const QByteArray bytes = key.toUtf8();
    const QString name =
        QStringLiteral("MV3ClientUpdate") + QString::number(qChecksum(bytes.constData(), uint(bytes.size())), 16);
    writeFile(installation.tmpDir() + QLatin1Char('/') + name, QByteArray());
    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1"}}));

    UpdateRun run(installation);
    run.start({});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    const QString log = installation.log();
    QVERIFY(!log.contains(QStringLiteral("Detected other instance running")));
    QCOMPARE(log.count(QStringLiteral("Update engine initialized")), 1);
}

void tst_UpdateProgram::leftoversRemovedAtStart()
{
    Installation installation;
    const QString dir = installation.installDir();
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/old")));
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/imageformats")));
    for (const char *name :
         {"/_old_update", "/libQtCore.so.4", "/old/_old_libQt5Core.so.5", "/imageformats/_old_libqjpeg.so", "/keep.so"})
        writeFile(dir + QLatin1String(name), "x");
    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1"}}));

    UpdateRun run(installation);
    run.start({QStringLiteral("update_linux_amd64"), QStringLiteral("41")});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    for (const char *name : {"/_old_update", "/libQtCore.so.4", "/imageformats/_old_libqjpeg.so", "/old"})
        QVERIFY2(!QFileInfo::exists(dir + QLatin1String(name)), name);

    // An "old" directory with anything else in it stays.
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/old")));
    writeFile(dir + QStringLiteral("/old/notes.txt"), "x");
    UpdateRun again(installation);
    again.start({QStringLiteral("update_linux_amd64"), QStringLiteral("41")});
    waitForExit(again);
    QCOMPARE(again.exitCode(), 0);
    QVERIFY(QFile::exists(dir + QStringLiteral("/old/notes.txt")));
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/keep.so")));
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/imageformats")));
}

void tst_UpdateProgram::logLinesFollowFormatAndNeedMarker()
{
    m_server->setBody(QLatin1String(versionPath), versionsMessage({{"stable", 41, "4.1"}}));
    {
        Installation installation;
        installation.enableLog(false);
        UpdateRun run(installation);
        run.start({QStringLiteral("update_linux_amd64"), QStringLiteral("41")});
        waitForExit(run);
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(installation.tmpDir() + QStringLiteral("/morvane_update_log")));
        // Nothing goes to standard error either.
        QCOMPARE(run.m_process.readAllStandardError(), QByteArray());
    }

    Installation installation;
    UpdateRun run(installation);
    run.start({QStringLiteral("update_linux_amd64"), QStringLiteral("41")});
    waitForExit(run);
    QCOMPARE(run.exitCode(), 0);
    const QStringList files = installation.logFiles();
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^update__\\d{4}-\\d\\d-\\d\\d__\\d\\d_\\d\\d_\\d\\d\\.log$"))
                 .match(files.first())
                 .hasMatch(),
             qPrintable(files.first()));
    const QStringList lines = installation.log().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 10);
    const QRegularExpression format(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}\\t\\|\\t(Debug|Warning|Critical|Info)\\t\\|\\t.*$"));
    for (const QString &line : lines)
        QVERIFY2(format.match(line).hasMatch(), qPrintable(line));
    QVERIFY(lines.filter(QStringLiteral("\tDebug\t|\tMorvane updater started")).size() == 1);
}

QTEST_GUILESS_MAIN(tst_UpdateProgram)
#include "tst_updateprogram.moc"
