// Declares SingleInstanceChecker, the local-socket guard that lets one updater run per installation and user.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

class SingleInstanceChecker : public QObject
{
    Q_OBJECT
public:
    // Starts listening; a failing listen only means other instances cannot find this one.
    explicit SingleInstanceChecker(QObject *parent);
    ~SingleInstanceChecker() override;

    static QString serverName();
    // True when a running instance accepted the message.
    static bool sendToRunningInstance(const QString &message);

signals:
    void otherInstanceActivate(QString message);

private slots:
    void onNewConnection();
    void onReadyRead();

private:
    QLocalServer *m_server;
    QLocalSocket *m_socket = nullptr;
};
