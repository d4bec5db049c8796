// Defines MainWindow, the updater's window and the conductor of one run.
#include "mainwindow.h"

#include "configuration.h"
#include "processtools.h"
#include "singleinstancechecker.h"
#include "ui_mainwindow.h"
#include "updateengine.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

MainWindow *MainWindow::s_instance = nullptr;

namespace {

const char makerUrl[] = "https://www.morvane.example/";

void showErrorBox(QWidget *parent, const QString &text)
{
    QMessageBox::critical(parent, QObject::tr("Error"), text, QMessageBox::Ok);
}

} // namespace

MainWindow::MainWindow(Configuration *config) : QWidget(nullptr), ui(new Ui::MainWindow), m_config(config)
{
    s_instance = this;

    m_engine = new UpdateEngine(config, this);
    connect(m_engine, &UpdateEngine::error, this, [this](const QString &text) {
        onAppendText(text);
        showErrorBox(this, text);
    });
    connect(m_engine, &UpdateEngine::fatalError, this, &MainWindow::onFatalError);
    connect(m_engine, &UpdateEngine::updateProgress, this,
            [this](qreal doneFrac) { ui->totalProgressBar->setValue(int(doneFrac * 1000)); });
    connect(m_engine, &UpdateEngine::message, this, &MainWindow::onAppendText);
    connect(m_engine, &UpdateEngine::updateFinished, this, &MainWindow::onUpdateFinished);
    connect(m_engine, &UpdateEngine::updateCanceled, this, &MainWindow::onUpdateCanceled);

    ui->setupUi(this);

    connect(ui->detailsButton, &QPushButton::clicked, this, [this]() {
        if (ui->outputTextEdit->isVisible()) {
            QScrollBar *bar = ui->outputTextEdit->verticalScrollBar();
            bar->setValue(bar->maximum());
        }
    });

    ui->banner->setUrl(QLatin1String(makerUrl));
    ui->morvaneLabel->setUrl(QLatin1String(makerUrl));
    ui->morvaneLabel->hide();
    ui->outputTextEdit->hide();

    SingleInstanceChecker *checker = new SingleInstanceChecker(this);
    connect(checker, &SingleInstanceChecker::otherInstanceActivate, this, [this](const QString &message) {
        if (message != QLatin1String("#"))
            return;
        raise();
        activateWindow();
    });

    connect(m_config, &Configuration::fatalError, this, [this](const QString &text) {
        showErrorBox(this, text);
        QCoreApplication::exit(1);
    });
    connect(m_config, &Configuration::ready, this, &MainWindow::onStartUpdate);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.width() / 2 - width() / 2, area.height() / 2 - height() / 2);
    }
}

MainWindow::~MainWindow()
{
    if (s_instance == this)
        s_instance = nullptr;
    delete ui;
}

void MainWindow::updateHeader()
{
    QString html;
    if (!m_config->m_versionString.isEmpty())
        html += QStringLiteral("<div style=\"font-weight:bold;font-size:large\">") +
                tr("Update to Morvane %1").arg(m_config->m_versionString) + QStringLiteral("</div>");

    QString channel;
    switch (m_config->m_channel) {
    case Configuration::STABLE: channel = tr("Stable"); break;
    case Configuration::BETA: channel = tr("Beta"); break;
    case Configuration::ALPHA: channel = tr("Alpha"); break;
    }
    html += QStringLiteral("<div style=\"margin-top:0.2em\">") +
            tr("You are currently on <strong>%1 channel</strong>.").arg(channel) + QStringLiteral("</div>");
    html += QStringLiteral("<div style=\"margin-top:0.2em;font-style:italic\">") +
            (m_config->m_clientUpdate ? tr("Step two: Updating Morvane client") : tr("Step one: Updating updater")) +
            QStringLiteral("</div>");
    ui->versionLabel->setText(html);
}

void MainWindow::onStartUpdate()
{
    qDebug() << "onStartUpdate" << m_updateFinished << m_updateStarted;
    if (m_updateFinished || m_updateStarted)
        return;
    if (m_engine->isSessionActive()) {
        qDebug() << "Session already active";
        return;
    }
    if (!m_config->m_ready) {
        qDebug() << "Aborting start update, configuration not yet ready";
        return;
    }
    if (!m_engine->initialize())
        return;
    qDebug() << "Update engine initialized";
    m_updateStarted = true;
    m_engine->startUpdate();
}

void MainWindow::onAppendText(QString text)
{
    ui->outputTextEdit->append(text);
}

void MainWindow::onFatalError(QString errorMessage)
{
    showErrorBox(this, errorMessage);
    QCoreApplication::exit(2);
}

void MainWindow::onUpdateFinished()
{
    qDebug() << "onUpdateFinished";
    m_updateFinished = true;
    if (m_rebootRequested)
        return;
    if (m_config->m_clientUpdate) {
        QTimer::singleShot(1000, this, [this]() {
            ProcessTools::startMv3Client(m_config->m_installDir);
            close();
        });
    } else {
        QTimer::singleShot(1000, this, &MainWindow::onStartNewUpdater);
    }
}

void MainWindow::onStartNewUpdater()
{
    qDebug() << "onStartNewUpdater";
    const QStringList args = {QStringLiteral("--clientupdate"), Configuration::defaultClientType(1),
                              QString::number(m_config->m_version),
                              m_config->m_versionString.isEmpty() ? QStringLiteral("#") : m_config->m_versionString};
    ProcessTools::startClientUpdater(m_config->m_tempDir, args);
    close();
}

void MainWindow::onUpdateCanceled()
{
    if (m_closeRequested) {
        QCoreApplication::quit();
        return;
    }
    m_updateFinished = false;
    m_engine->resetAfterCancel();
    onAppendText(tr("Update cancelled"));
    ui->totalProgressBar->setValue(0);

    // One box at a time: further cancels while it is open only add to the log.
    static bool boxOpen = false;
    if (boxOpen)
        return;
    boxOpen = true;
    QMessageBox::critical(this, tr("Update"), tr("Update cancelled. Push \"Details\" to check reasons."),
                          QMessageBox::Ok);
    boxOpen = false;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_engine->isSessionActive()) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_closeRequested)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Question"), tr("<p>Update in progress.</p><p>Are you sure you want to abort?</p>"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        m_closeRequested = true;
        m_engine->cancelUpdate();
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    const int side = ui->versionLabel->height();
    ui->morvaneLabel->setMaximumSize(side, side);
    ui->morvaneLabel->show();
    QWidget::showEvent(event);
}

void MainWindow::onRebootWithConfirmation()
{
    qDebug() << "onRebootWithConfirmation";
    m_rebootRequested = true;
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Confirm reboot"),
        tr("<p>A computer restart is required to proceed with the client update. If you do not reboot now, the "
           "Morvane update will be cancelled.</p><p>Do you want to reboot now?</p>"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
        write_force_update_file(QStringLiteral("mv3_force_update"));
        QApplication::beep();
    } else {
        write_force_update_file(QStringLiteral("mv3_force_update_check"));
    }
    QCoreApplication::quit();
}

void MainWindow::write_force_update_file(const QString &name)
{
    QFile file(QDir::tempPath() + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        onAppendText(tr("Failed to store force update notice"));
        qDebug() << "Failed to store force update notice";
        return;
    }
    file.close();
}

void MainWindow::delete_force_update_files()
{
    qDebug() << "delete_force_update_files" << m_config->m_clientUpdate;
    if (m_config->m_clientUpdate)
        return;
    QFile::remove(QDir::tempPath() + QStringLiteral("/mv3_force_update"));
    QFile::remove(QDir::tempPath() + QStringLiteral("/mv3_force_update_check"));
}
