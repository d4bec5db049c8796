// Defines TestHttpServer and its per-connection responder.
#include "testhttpserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

const qint64 kChunk = 64 * 1024;
// Keep at most this much queued in the socket so big files stream instead of piling up in memory.
const qint64 kHighWater = 256 * 1024;
const int kDripTickMs = 100;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

// One request and its answer; deletes itself when the connection ends.
class TestHttpConnection : public QObject
{
public:
    TestHttpConnection(TestHttpServer *server, QTcpSocket *socket) : QObject(server), m_server(server), m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { pump(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] { finish(); });
        m_drip.setInterval(kDripTickMs);
        connect(&m_drip, &QTimer::timeout, this, [this] {
            m_dripBudget += std::max<qint64>(1, m_answer.fault.dripBytesPerSecond * kDripTickMs / 1000);
            pump();
        });
    }

private:
    void onReadyRead()
    {
        if (m_started) {
            m_socket->readAll(); // one request per connection; ignore anything after it
            return;
        }
        m_request += m_socket->readAll();
        const int end = m_request.indexOf("\r\n\r\n");
        if (end < 0) {
            if (m_request.size() > 64 * 1024)
                m_socket->abort();
            return;
        }
        m_started = true;
        const QByteArray headers = m_request.left(end + 4);
        const QList<QByteArray> line = headers.left(headers.indexOf("\r\n")).split(' ');
        QString path;
        if (line.size() >= 2)
            path = QUrl::fromPercentEncoding(line.at(1).split('?').first());
        m_answer = m_server->answerFor(path, headers);
        m_isHead = line.value(0) == "HEAD";
        if (m_answer.faultActive && m_answer.fault.delayMs > 0)
            QTimer::singleShot(m_answer.fault.delayMs, this, [this] { respond(); });
        else
            respond();
    }

    void respond()
    {
        if (!m_answer.filePath.isEmpty()) {
            m_file.setFileName(m_answer.filePath);
            if (!m_file.open(QIODevice::ReadOnly)) {
                m_answer.status = 403;
                m_answer.filePath.clear();
                m_answer.body = "cannot open\n";
                m_answer.size = m_answer.body.size();
            }
        }
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(m_answer.status) + ' ' + reasonPhrase(m_answer.status) + "\r\n";
        if (!m_answer.location.isEmpty())
            head += "Location: " + m_answer.location.toUtf8() + "\r\n";
        if (!m_answer.fault.omitContentLength || !m_answer.faultActive)
            head += "Content-Length: " + QByteArray::number(m_answer.size) + "\r\n";
        head += "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        m_socket->write(head);

        m_limit = m_isHead ? 0 : m_answer.size;
        if (m_answer.faultActive) {
            if (m_answer.fault.stallAfterBytes >= 0)
                m_limit = std::min(m_limit, m_answer.fault.stallAfterBytes);
            if (m_answer.fault.closeAfterBytes >= 0)
                m_limit = std::min(m_limit, m_answer.fault.closeAfterBytes);
            if (m_answer.fault.dripBytesPerSecond > 0)
                m_drip.start();
        }
        m_sending = true;
        pump();
    }

    bool dripping() const { return m_drip.isActive(); }

    void pump()
    {
        if (!m_sending || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        while (m_sent < m_limit && m_socket->bytesToWrite() < kHighWater) {
            qint64 n = std::min(kChunk, m_limit - m_sent);
            if (dripping()) {
                n = std::min(n, m_dripBudget);
                if (n <= 0)
                    return;
                m_dripBudget -= n;
            }
            QByteArray chunk;
            if (m_file.isOpen()) {
                chunk = m_file.read(n);
                if (chunk.isEmpty()) {
                    m_socket->abort(); // file shrank under us
                    return;
                }
            } else {
                chunk = m_answer.body.mid(int(m_sent), int(n));
            }
            m_socket->write(chunk);
            m_sent += chunk.size();
        }
        if (m_sent < m_limit)
            return;
        const bool stall =
            m_answer.faultActive && m_answer.fault.stallAfterBytes >= 0 && m_sent == m_answer.fault.stallAfterBytes &&
            m_sent < m_answer.size &&
            !(m_answer.fault.closeAfterBytes >= 0 && m_answer.fault.closeAfterBytes <= m_answer.fault.stallAfterBytes);
        if (stall) {
            m_sending = false; // the client sees no more data and no end
            return;
        }
        m_sending = false;
        m_drip.stop();
        m_socket->disconnectFromHost();
    }

    void finish()
    {
        m_sending = false;
        m_drip.stop();
        deleteLater();
    }

    TestHttpServer *m_server;
    QTcpSocket *m_socket;
    QByteArray m_request;
    bool m_started = false;
    bool m_isHead = false;
    bool m_sending = false;
    TestHttpServer::Answer m_answer;
    QFile m_file;
    qint64 m_limit = 0;
    qint64 m_sent = 0;
    qint64 m_dripBudget = 0;
    QTimer m_drip;
};

TestHttpServer::TestHttpServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::start(quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    return m_server->listen(QHostAddress::LocalHost, port);
}

void TestHttpServer::stop()
{
    m_server->close();
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QString TestHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void TestHttpServer::setRoot(const QString &dir)
{
    m_root = QFileInfo(dir).canonicalFilePath();
}

void TestHttpServer::setBody(const QString &path, const QByteArray &body)
{
    m_bodies.insert(path, body);
}

void TestHttpServer::removeBody(const QString &path)
{
    m_bodies.remove(path);
}

void TestHttpServer::setFault(const QString &path, const Fault &fault)
{
    m_faults.insert(path, fault);
}

void TestHttpServer::clearFault(const QString &path)
{
    m_faults.remove(path);
}

void TestHttpServer::clearFaults()
{
    m_faults.clear();
}

int TestHttpServer::requestCount(const QString &path) const
{
    return m_counts.value(path);
}

int TestHttpServer::totalRequestCount() const
{
    return m_total;
}

QByteArray TestHttpServer::lastRequestHeaders(const QString &path) const
{
    return m_lastHeaders.value(path);
}

void TestHttpServer::resetCounts()
{
    m_counts.clear();
    m_lastHeaders.clear();
    m_total = 0;
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        new TestHttpConnection(this, socket);
}

TestHttpServer::Answer TestHttpServer::answerFor(const QString &path, const QByteArray &headers)
{
    const int count = ++m_counts[path];
    ++m_total;
    m_lastHeaders.insert(path, headers);
    emit requestReceived(path);

    Answer answer;
    const auto fault = m_faults.constFind(path);
    if (fault != m_faults.constEnd() && (fault->times < 0 || count <= fault->times)) {
        answer.fault = *fault;
        answer.faultActive = true;
    }

    auto setText = [&answer](int status, const QByteArray &text) {
        answer.status = status;
        answer.body = text;
        answer.size = text.size();
    };

    if (answer.faultActive && !answer.fault.redirectTo.isEmpty()) {
        setText(302, "moved\n");
        answer.location = answer.fault.redirectTo;
        return answer;
    }
    if (answer.faultActive && answer.fault.status != 0 && answer.fault.status != 200) {
        setText(answer.fault.status, reasonPhrase(answer.fault.status) + '\n');
        return answer;
    }

    const auto body = m_bodies.constFind(path);
    if (body != m_bodies.constEnd()) {
        setText(200, *body);
        return answer;
    }
    if (!m_root.isEmpty() && path.startsWith(QLatin1Char('/'))) {
        // Resolve links and ".." first so nothing outside the root can be served.
        const QFileInfo info(m_root + path);
        const QString real = info.canonicalFilePath();
        if (!real.isEmpty() && real.startsWith(m_root + QLatin1Char('/')) && info.isFile()) {
            answer.filePath = real;
            answer.size = info.size();
            return answer;
        }
    }
    setText(404, "Not Found\n");
    return answer;
}
