// Defines HTTPDownloader, a thread that performs one HTTP GET and hands back the body.
#include "httpdownloader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

HTTPDownloader::HTTPDownloader(const QNetworkRequest &request) : m_request(request)
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void HTTPDownloader::run()
{
    QNetworkAccessManager manager;
    // Direct: the reply is read on this thread, where it lives, and never after the thread ends.
    connect(&manager, &QNetworkAccessManager::finished, this, &HTTPDownloader::on_downloadFinished,
            Qt::DirectConnection);
    QNetworkReply *reply = manager.get(m_request);
    // A Versions message is a few hundred bytes; a server that sends more is not answering us.
    connect(
        reply, &QNetworkReply::downloadProgress, reply,
        [reply](qint64 received, qint64) {
            if (received > s_maxBodySize)
                reply->abort();
        },
        Qt::DirectConnection);
    exec();
}

void HTTPDownloader::on_downloadFinished(QNetworkReply *reply)
{
    QByteArray data;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Redirections are not followed, so only a 2xx answer carries the message.
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
        data = reply->readAll();
    emit download_available(data);
    reply->deleteLater();
    quit();
}
