// Declares MainWindow, the updater's window and the conductor of one run.
#pragma once

#include <QString>
#include <QWidget>

namespace Ui {
class MainWindow;
}

class Configuration;
class SingleInstanceChecker;
class UpdateEngine;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(Configuration *config);
    ~MainWindow() override;

    void updateHeader();
    void delete_force_update_files();
    void write_force_update_file(const QString &name);

    UpdateEngine *engine() const { return m_engine; }

    // The one window; install-command tasks connect their reboot request to it.
    static MainWindow *s_instance;

public slots:
    void onRebootWithConfirmation();

private slots:
    void onFatalError(QString errorMessage);
    void onStartUpdate();
    void onStartNewUpdater();
    void onAppendText(QString text);
    void onUpdateFinished();
    void onUpdateCanceled();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    Ui::MainWindow *ui;
    Configuration *m_config;
    UpdateEngine *m_engine = nullptr;
    bool m_updateFinished = false;
    bool m_closeRequested = false;
    bool m_updateStarted = false;
    bool m_rebootRequested = false;
};
