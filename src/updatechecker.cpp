// Defines UpdateChecker, which asks the version server for the current version of every channel.
#include "updatechecker.h"

#include "httpdownloader.h"
#include "updateserverclient.h"

#include <QNetworkRequest>
#include <QUrl>

UpdateChecker::UpdateChecker(QObject *parent) : QObject(parent) {}

void UpdateChecker::start()
{
    const std::string url = versionServerUrl();
    QNetworkRequest request(QUrl(QString::fromUtf8(url.data(), int(url.size())), QUrl::TolerantMode));
    // Owns itself: released once its thread has ended.
    HTTPDownloader *downloader = new HTTPDownloader(request);
    connect(downloader, &HTTPDownloader::download_available, this, &UpdateChecker::on_updateCheckAvailable);
    downloader->start(QThread::InheritPriority);
}

void UpdateChecker::on_updateCheckAvailable(QByteArray updateData)
{
    VersionQueryResult result;
    const int r = parseVersions(updateData.constData(), std::size_t(updateData.size()), result);

    UpdateVersions versions;
    if (r == 0 && !result.channelNames.empty()) {
        for (const std::string &name : result.channelNames) {
            const auto &entry = result.channelVersions.at(name);
            versions[QString::fromStdString(name)] =
                qMakePair(QString::number(quint32(entry.first)), QString::fromStdString(entry.second));
        }
    }
    emit update_available(versions);
    deleteLater();
}
