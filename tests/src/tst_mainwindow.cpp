// Tests MainWindow: the form, the header, progress, message boxes, notice files and the single-instance raise.
#include "boxanswerer.h"
#include "configuration.h"
#include "mainwindow.h"
#include "singleinstancechecker.h"
#include "updateengine.h"
#include "updateinidata.h"
#include "urlclicklabel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formHasNamedWidgets();
    void detailsButtonTogglesLog();
    void picturesOpenMakerPage();
    void header_data();
    void header();
    void progressAboveOneIsIgnored();
    void engineErrorGoesToLogAndBox();
    void noticeFilesPerPhase_data();
    void noticeFilesPerPhase();
    void rebootQuestion_data();
    void rebootQuestion();
    void unwritableNoticeIsReported();
    void otherInstanceRaisesWindow();
    void guardNameDependsOnProgramAndHome();
    void closingIdleWindowAsksNothing();
    void closingDuringSessionAsks();
    void startWaitsForReadyConfigurationAndRunsOnce();

private:
    QString tmp() const { return m_dir.path() + QStringLiteral("/tmp"); }

    QTemporaryDir m_dir;
};

void tst_MainWindow::init()
{
    QDir(m_dir.path()).removeRecursively();
    QVERIFY(QDir().mkpath(tmp()));
    qputenv("TMPDIR", tmp().toUtf8());
    QFile::remove(UpdateIniData::updateIniPath());
}

void tst_MainWindow::cleanup()
{
    QFile::remove(UpdateIniData::updateIniPath());
}

void tst_MainWindow::formHasNamedWidgets()
{
    Configuration config;
    MainWindow window(&config);
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Morvane 3 Client Update"));
    QCOMPARE(MainWindow::s_instance, &window);
    QCOMPARE(window.layout()->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(window.layout()->sizeConstraint(), QLayout::SetFixedSize);

    auto *version = window.findChild<QLabel *>(QStringLiteral("versionLabel"));
    auto *logo = window.findChild<UrlClickLabel *>(QStringLiteral("morvaneLabel"));
    auto *banner = window.findChild<UrlClickLabel *>(QStringLiteral("banner"));
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("totalProgressBar"));
    auto *log = window.findChild<QTextEdit *>(QStringLiteral("outputTextEdit"));
    auto *copyright = window.findChild<QLabel *>(QStringLiteral("copyrightLabel"));
    auto *details = window.findChild<QPushButton *>(QStringLiteral("detailsButton"));
    QVERIFY(version && logo && banner && bar && log && copyright && details);
    QVERIFY(window.findChild<QLayout *>(QStringLiteral("horizontalLayout_2")));
    QVERIFY(window.findChild<QLayout *>(QStringLiteral("horizontalLayout_3")));

    QCOMPARE(banner->minimumSize(), QSize(468, 60));
    QCOMPARE(banner->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!banner->url().isEmpty());
    QCOMPARE(logo->url(), banner->url());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(log->maximumHeight(), 100);
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->lineWrapMode(), QTextEdit::NoWrap);
    QVERIFY(log->tabChangesFocus());
    QVERIFY(copyright->openExternalLinks());
    QVERIFY(copyright->text().contains(QLatin1String("href")));
    QCOMPARE(details->text(), QStringLiteral("Details"));
    QVERIFY(details->isCheckable());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!log->isVisible());
    QVERIFY(logo->isVisible());
    QCOMPARE(logo->maximumWidth(), version->height());
    QCOMPARE(logo->maximumHeight(), version->height());
}

void tst_MainWindow::detailsButtonTogglesLog()
{
    Configuration config;
    MainWindow window(&config);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *log = window.findChild<QTextEdit *>(QStringLiteral("outputTextEdit"));
    auto *details = window.findChild<QPushButton *>(QStringLiteral("detailsButton"));
    for (int i = 0; i < 40; ++i)
        emit window.engine()->message(QStringLiteral("line %1").arg(i));
    details->click();
    QVERIFY(log->isVisible());
    QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
    QVERIFY(log->toPlainText().endsWith(QLatin1String("line 39")));
    details->click();
    QVERIFY(!log->isVisible());
}

namespace {

// Stands in for the desktop's web browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

void tst_MainWindow::picturesOpenMakerPage()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    Configuration config;
    MainWindow window(&config);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *banner = window.findChild<UrlClickLabel *>(QStringLiteral("banner"));
    auto *logo = window.findChild<UrlClickLabel *>(QStringLiteral("morvaneLabel"));
    QTest::mouseClick(banner, Qt::LeftButton, Qt::NoModifier, QPoint(400, 50));
    QTest::mouseClick(logo, Qt::RightButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.opened.size(), 2);
    QCOMPARE(recorder.opened.at(0), QUrl(banner->url()));
    QCOMPARE(recorder.opened.at(1), QUrl(banner->url()));
}

void tst_MainWindow::header_data()
{
    QTest::addColumn<QString>("versionString");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("clientUpdate");
    QTest::addColumn<QString>("html");

    const QString stableOne =
        QStringLiteral("<div style=\"margin-top:0.2em\">You are currently on <strong>Stable channel</strong>.</div>"
                       "<div style=\"margin-top:0.2em;font-style:italic\">Step one: Updating updater</div>");
    QTest::newRow("no version string") << "" << 0 << 0 << stableOne;
    QTest::newRow("3.1.0, beta, step two")
        << "3.1.0" << 1 << 1
        << "<div style=\"font-weight:bold;font-size:large\">Update to Morvane 3.1.0</div>"
           "<div style=\"margin-top:0.2em\">You are currently on <strong>Beta channel</strong>.</div>"
           "<div style=\"margin-top:0.2em;font-style:italic\">Step two: Updating Morvane client</div>";
    QTest::newRow("alpha")
        << "" << 2 << 0
        << "<div style=\"margin-top:0.2em\">You are currently on <strong>Alpha channel</strong>.</div>"
           "<div style=\"margin-top:0.2em;font-style:italic\">Step one: Updating updater</div>";
    QTest::newRow("unknown channel")
        << "" << 7 << 0
        << "<div style=\"margin-top:0.2em\">You are currently on <strong> channel</strong>.</div>"
           "<div style=\"margin-top:0.2em;font-style:italic\">Step one: Updating updater</div>";
}

void tst_MainWindow::header()
{
    QFETCH(QString, versionString);
    QFETCH(int, channel);
    QFETCH(int, clientUpdate);
    QFETCH(QString, html);

    Configuration config;
    config.m_versionString = versionString;
    config.m_channel = channel;
    config.m_clientUpdate = clientUpdate;
    MainWindow window(&config);
    window.updateHeader();
    QCOMPARE(window.findChild<QLabel *>(QStringLiteral("versionLabel"))->text(), html);
}

void tst_MainWindow::progressAboveOneIsIgnored()
{
    Configuration config;
    MainWindow window(&config);
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("totalProgressBar"));
    emit window.engine()->updateProgress(0.4567);
    QCOMPARE(bar->value(), 456);
    emit window.engine()->updateProgress(1.1);
    QCOMPARE(bar->value(), 456);
    emit window.engine()->updateProgress(1.0);
    QCOMPARE(bar->value(), 1000);
}

void tst_MainWindow::engineErrorGoesToLogAndBox()
{
    Configuration config;
    MainWindow window(&config);
    BoxAnswerer answerer(QMessageBox::Ok);
    emit window.engine()->error(QStringLiteral("could not read file /x correctly"));
    QVERIFY(answerer.answered);
    QCOMPARE(answerer.title, QStringLiteral("Error"));
    QCOMPARE(answerer.text, QStringLiteral("could not read file /x correctly"));
    QCOMPARE(window.findChild<QTextEdit *>(QStringLiteral("outputTextEdit"))->toPlainText(),
             QStringLiteral("could not read file /x correctly"));
}

void tst_MainWindow::noticeFilesPerPhase_data()
{
    QTest::addColumn<int>("clientUpdate");
    QTest::addColumn<bool>("kept");
    QTest::newRow("first phase removes") << 0 << false;
    QTest::newRow("second phase keeps") << 1 << true;
}

void tst_MainWindow::noticeFilesPerPhase()
{
    QFETCH(int, clientUpdate);
    QFETCH(bool, kept);
    Configuration config;
    config.m_clientUpdate = clientUpdate;
    MainWindow window(&config);
    window.write_force_update_file(QStringLiteral("mv3_force_update"));
    window.write_force_update_file(QStringLiteral("mv3_force_update_check"));
    QCOMPARE(QFileInfo(tmp() + QStringLiteral("/mv3_force_update")).size(), 0);
    QVERIFY(QFile::exists(tmp() + QStringLiteral("/mv3_force_update_check")));
    window.delete_force_update_files();
    QCOMPARE(QFile::exists(tmp() + QStringLiteral("/mv3_force_update")), kept);
    QCOMPARE(QFile::exists(tmp() + QStringLiteral("/mv3_force_update_check")), kept);
}

void tst_MainWindow::rebootQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("absent");
    QTest::newRow("yes") << int(QMessageBox::Yes) << "mv3_force_update"
                         << "mv3_force_update_check";
    QTest::newRow("no") << int(QMessageBox::No) << "mv3_force_update_check"
                        << "mv3_force_update";
}

void tst_MainWindow::rebootQuestion()
{
    QFETCH(int, answer);
    QFETCH(QString, notice);
    QFETCH(QString, absent);

    Configuration config;
    config.m_version = 5;
    config.m_clientUpdate = 1;
    config.m_clientType = QStringLiteral("client_linux_amd64");
    MainWindow window(&config);
    BoxAnswerer answerer{QMessageBox::StandardButton(answer)};
    // Asked from the running application loop, which the answer then ends.
    QTimer::singleShot(0, &window, &MainWindow::onRebootWithConfirmation);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(answerer.answered);
    QCOMPARE(answerer.title, QStringLiteral("Confirm reboot"));
    QVERIFY(answerer.text.startsWith(QLatin1String("<p>A computer restart is required")));
    QCOMPARE(answerer.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(answerer.defaultButton, QMessageBox::Yes);
    QVERIFY(QFile::exists(tmp() + QLatin1Char('/') + notice));
    QVERIFY(!QFile::exists(tmp() + QLatin1Char('/') + absent));

    // An update that finishes after the question starts nothing.
    QVERIFY(window.engine()->initialize());
    const QString runScriptLog = m_dir.path() + QStringLiteral("/client-started");
    config.m_installDir = m_dir.path();
    QFile script(m_dir.path() + QStringLiteral("/mv3client_runscript.sh"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ntouch '" + runScriptLog.toUtf8() + "'\n");
    script.close();
    script.setPermissions(script.permissions() | QFile::ExeOwner);
    window.engine()->startUpdate();
    QTest::qWait(1500);
    QVERIFY(!QFile::exists(runScriptLog));
}

void tst_MainWindow::unwritableNoticeIsReported()
{
    Configuration config;
    MainWindow window(&config);
    QVERIFY(QDir().mkdir(tmp() + QStringLiteral("/mv3_force_update")));
    window.write_force_update_file(QStringLiteral("mv3_force_update"));
    QCOMPARE(window.findChild<QTextEdit *>(QStringLiteral("outputTextEdit"))->toPlainText(),
             QStringLiteral("Failed to store force update notice"));
}

void tst_MainWindow::otherInstanceRaisesWindow()
{
    Configuration config;
    MainWindow window(&config);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());

    // Other texts are ignored; "#" brings the window to the front.
    QVERIFY(SingleInstanceChecker::sendToRunningInstance(QStringLiteral("x")));
    QTest::qWait(200);
    QVERIFY(!window.isActiveWindow());
    QVERIFY(SingleInstanceChecker::sendToRunningInstance(QStringLiteral("#")));
    QTRY_VERIFY(window.isActiveWindow());
}

void tst_MainWindow::guardNameDependsOnProgramAndHome()
{
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", "/home/Some:One");
    // CRC-16 (ISO 3309) of the lower-case program path and the home, without "/" and ":".
    QString key = QCoreApplication::applicationFilePath().toLower() + QStringLiteral("/home/Some:One");
    key.remove(QLatin1Char('/'));
    key.remove(QLatin1Char(':'));
    const QByteArray bytes = key.toUtf8();
    const QString first = SingleInstanceChecker::serverName();
    QCOMPARE(first,
             QStringLiteral("MV3ClientUpdate") + QString::number(qChecksum(bytes.constData(), uint(bytes.size())), 16));
    QVERIFY(QRegularExpression(QStringLiteral("^MV3ClientUpdate[0-9a-f]{1,4}$")).match(first).hasMatch());
    qputenv("HOME", "/home/other");
    QVERIFY(SingleInstanceChecker::serverName() != first);
    qputenv("HOME", oldHome);
}

void tst_MainWindow::closingIdleWindowAsksNothing()
{
    Configuration config;
    MainWindow window(&config);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Closed from the running application loop, which ends with the last window.
    QTimer::singleShot(0, &window, &QWidget::close);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

void tst_MainWindow::closingDuringSessionAsks()
{
    Configuration config;
    config.m_version = 6;
    config.m_clientType = QStringLiteral("update_linux_amd64");
    MainWindow window(&config);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.engine()->initialize());

    for (int attempt = 0; attempt < 2; ++attempt) {
        BoxAnswerer no(QMessageBox::No);
        QVERIFY(!window.close());
        QVERIFY(no.answered);
        QCOMPARE(no.title, QStringLiteral("Question"));
        QCOMPARE(no.text, QStringLiteral("<p>Update in progress.</p><p>Are you sure you want to abort?</p>"));
        QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(window.isVisible());
    }

    BoxAnswerer yes(QMessageBox::Yes);
    QVERIFY(!window.close());
    QVERIFY(yes.answered);
    // Confirmed once: later close requests wait for the cancel without asking again.
    BoxAnswerer none(QMessageBox::Yes);
    QVERIFY(!window.close());
    QTest::qWait(50);
    QVERIFY(!none.answered);
    QVERIFY(window.isVisible());
}

void tst_MainWindow::startWaitsForReadyConfigurationAndRunsOnce()
{
    Configuration config;
    config.m_clientType = QStringLiteral("update_linux_amd64");
    MainWindow window(&config);
    window.show();
    QSignalSpy finished(window.engine(), &UpdateEngine::updateFinished);

    // The start timer's attempt is refused while the version is unknown.
    QMetaObject::invokeMethod(&window, "onStartUpdate");
    QCOMPARE(window.engine()->state(), int(UpdateEngine::PRE_INIT));

    // The answer arrives: ready starts the update, the later timer call does nothing.
    UpdateVersions versions;
    versions[QStringLiteral("stable")] = qMakePair(QStringLiteral("21"), QStringLiteral("2.1"));
    config.on_updateAvailable(versions);
    QCOMPARE(finished.count(), 1);
    QMetaObject::invokeMethod(&window, "onStartUpdate");
    QCOMPARE(finished.count(), 1);
    // A second later the new updater is looked for (none here) and the window closes, ending the loop.
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
