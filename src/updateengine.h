// Declares UpdateEngine, which runs one update session: proxy, session record, main task, cleanup.
#pragma once

#include <QObject>
#include <QString>

class Configuration;
class MainTaskSpecification;
class QNetworkAccessManager;
class QTimer;

class UpdateEngine : public QObject
{
    Q_OBJECT
public:
    enum State { PRE_INIT = 0, POST_INIT = 1, RUNNING = 2, FINISHED = 3, CANCELED = 4 };

    UpdateEngine(Configuration *config, QObject *parent);

    bool initialize();
    bool startUpdate();
    bool isSessionActive() const;
    void resetAfterCancel();
    void cleanup();

    static void removeOldFiles(const QString &dir);
    static void removeQt4Files(const QString &dir);
    static void removeDirectoryContents(const QString &path);

    int state() const { return m_State; }
    QNetworkAccessManager *networkManager() const { return m_networkManager; }

signals:
    void fatalError(QString errorMessage);
    void error(QString errorMessage);
    void updateProgress(qreal doneFrac);
    void downloadProgress(qulonglong downloadDone, qulonglong downloadTotal, qulonglong speed, bool downloading);
    void message(QString message);
    void updateFinished();
    void updateCanceled();

public slots:
    void cancelUpdate();

private slots:
    void onTimer();
    void onTaskFinished();
    void onTaskCanceled();

private:
    void applyProxy();
    void releaseMainTask();
    // Empties dir and removes it through its parent; false when the removal failed.
    static bool removeSessionDirectory(const QString &dir, bool *parentFound = nullptr);

    int m_State = PRE_INIT;
    Configuration *m_config;
    MainTaskSpecification *m_mainTask = nullptr;
    QTimer *m_timer;
    QNetworkAccessManager *m_networkManager;
    // An invalid proxy setting is fatal; no session may start with the proxy left unset.
    bool m_proxyInvalid = false;
};
