// Declares TestHttpServer, an in-process HTTP/1.1 file server with per-path fault injection.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QTcpServer;

// Serves files below a root directory and fixed bodies on 127.0.0.1. Runs in the event loop of
// the thread that created it, so tests wait with QSignalSpy / QTRY_* instead of blocking calls.
// Every answer carries "Connection: close"; one request per connection.
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Fault {
        // Answer this status with a short text body instead of the file (0 = serve normally).
        int status = 0;
        // The fault applies to the first `times` requests of the path; -1 = to every request.
        int times = -1;
        // Answer 302 with this Location (absolute URL or path).
        QString redirectTo;
        // Send the headers and this many body bytes, then keep the connection open silently.
        qint64 stallAfterBytes = -1;
        // Send the headers and this many body bytes, then close the connection.
        qint64 closeAfterBytes = -1;
        // Send the body at about this rate (0 = as fast as the socket takes it).
        int dripBytesPerSecond = 0;
        // Leave out Content-Length; the end of the body is the end of the connection.
        bool omitContentLength = false;
        // Wait this long before sending anything.
        int delayMs = 0;
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    // Listens on 127.0.0.1; port 0 picks an ephemeral port.
    bool start(quint16 port = 0);
    void stop();
    quint16 port() const;
    // "http://127.0.0.1:<port>", without a trailing slash.
    QString baseUrl() const;

    void setRoot(const QString &dir);
    void setBody(const QString &path, const QByteArray &body);
    void removeBody(const QString &path);
    void setFault(const QString &path, const Fault &fault);
    void clearFault(const QString &path);
    void clearFaults();

    // Requests received for the decoded path ("/a/b"), faulty or not.
    int requestCount(const QString &path) const;
    int totalRequestCount() const;
    // Raw header block of the most recent request for the path (request line included).
    QByteArray lastRequestHeaders(const QString &path) const;
    void resetCounts();

signals:
    void requestReceived(const QString &path);

private:
    friend class TestHttpConnection;

    struct Answer {
        int status = 200;
        QByteArray body;  // used when filePath is empty
        QString filePath; // streamed from disk when set
        qint64 size = 0;
        QString location;
        Fault fault;
        bool faultActive = false;
    };

    Answer answerFor(const QString &path, const QByteArray &headers);
    void onNewConnection();

    QTcpServer *m_server;
    QString m_root;
    QHash<QString, QByteArray> m_bodies;
    QHash<QString, Fault> m_faults;
    QHash<QString, int> m_counts;
    QHash<QString, QByteArray> m_lastHeaders;
    int m_total = 0;
};
