// Defines SingleInstanceChecker, the local-socket guard that lets one updater run per installation and user.
#include "singleinstancechecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

SingleInstanceChecker::SingleInstanceChecker(QObject *parent) : QObject(parent), m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceChecker::onNewConnection);
    m_server->listen(serverName());
}

SingleInstanceChecker::~SingleInstanceChecker()
{
    m_server->close();
    if (m_socket)
        m_socket->close();
}

QString SingleInstanceChecker::serverName()
{
    // Executable path and home together: one name per installation and user, and the updater
    // started from a temporary directory is not mistaken for the installed one.
    QString key = QCoreApplication::applicationFilePath().toLower() + QDir::homePath();
    key.remove(QLatin1Char('/'));
    key.remove(QLatin1Char(':'));
    const QByteArray bytes = key.toUtf8();
    const quint16 checksum = qChecksum(bytes.constData(), uint(bytes.size()));
    return QStringLiteral("MV3ClientUpdate") + QString::number(checksum, 16);
}

bool SingleInstanceChecker::sendToRunningInstance(const QString &message)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(), QIODevice::ReadWrite);
    if (!socket.waitForConnected(1000))
        return false;
    const qint64 written = socket.write(message.toLatin1());
    const bool sent = written > 0 && socket.waitForBytesWritten(1000);
    socket.close();
    return sent;
}

void SingleInstanceChecker::onNewConnection()
{
    if (m_socket) {
        m_socket->close();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_socket = m_server->nextPendingConnection();
    if (m_socket)
        connect(m_socket, &QLocalSocket::readyRead, this, &SingleInstanceChecker::onReadyRead);
}

void SingleInstanceChecker::onReadyRead()
{
    if (!m_socket)
        return;
    QByteArray bytes = m_socket->readAll();
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    const QString message = QString::fromLatin1(bytes);
    emit otherInstanceActivate(message);
    m_socket->deleteLater();
    m_socket = nullptr;
}
