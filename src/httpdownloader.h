// Declares HTTPDownloader, a thread that performs one HTTP GET and hands back the body.
#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QThread>

class QNetworkReply;

class HTTPDownloader : public QThread
{
    Q_OBJECT
public:
    explicit HTTPDownloader(const QNetworkRequest &request);

signals:
    // Empty on any network or HTTP error.
    void download_available(QByteArray data);

public slots:
    void on_downloadFinished(QNetworkReply *reply);

protected:
    void run() override;

private:
    static constexpr qint64 s_maxBodySize = 1 << 20;

    QNetworkRequest m_request;
};
