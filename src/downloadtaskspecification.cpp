// Defines DownloadTaskSpecification: request, streaming to disk, restarts, stall detection.
#include "downloadtaskspecification.h"

#include "configuration.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace {
const qint64 kChunkSize = 4096;
// The network thread buffers at most this much per transfer ahead of the drain: without a
// limit six parallel transfers held 250 MB, and at 4 MiB the network thread spent its time
// mapping and faulting in fresh buffers (1 MiB measured fastest for one and for six).
const qint64 kReplyBufferSize = 1024 * 1024;
} // namespace

DownloadTaskSpecification::DownloadTaskSpecification(QNetworkAccessManager *manager, const QString &name, int version,
                                                     const QString &localPath, qint64 expectedSize, qreal weight,
                                                     QObject *parent)
    : TaskSpecification(parent, weight), m_Manager(manager), m_Name(name), m_Version(version), m_File(localPath),
      m_BytesTotal(expectedSize), m_BytesExpected(expectedSize)
{
}

DownloadTaskSpecification::~DownloadTaskSpecification()
{
    if (m_Reply) {
        disconnect(m_Reply, nullptr, this, nullptr);
        m_Reply->deleteLater();
    }
}

void DownloadTaskSpecification::execute()
{
    qDebug() << "Downloading" << m_Name;
    emit message(QStringLiteral("Downloading %1").arg(m_Name));
    state = Running;
    startDownload();
}

void DownloadTaskSpecification::startDownload()
{
    // Unbuffered: writes go out in kWriteBufferSize blocks from m_WriteBuffer, so each error or
    // short write surfaces at the write that caused it.
    if (!m_File.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        emit error(QStringLiteral("Unable to create file %1 for saving").arg(m_File.fileName()));
        setFailed();
        return;
    }
    if (!m_WriteBuffer)
        m_WriteBuffer.reset(new char[kWriteBufferSize]);
    m_Pending = 0;
    const QUrl url(Configuration::s_updateImageUrl + QString::number(m_Version) + QLatin1Char('/') + m_Name,
                   QUrl::TolerantMode);
    qDebug() << "Requesting download of" << url;
    m_Reply = m_Manager->get(QNetworkRequest(url));
    if (!m_Reply) {
        emit error(QStringLiteral("Download failed to initialize"));
        setFailed();
        return;
    }
    if (!m_Reply->isRunning()) {
        restartOrFail(m_Reply->errorString());
        return;
    }
    m_Reply->setReadBufferSize(kReplyBufferSize);
    connect(m_Reply, &QNetworkReply::downloadProgress, this, &DownloadTaskSpecification::onDownloadProgress);
    connect(m_Reply, &QNetworkReply::readyRead, this, &DownloadTaskSpecification::onReadyRead);
    connect(m_Reply, &QNetworkReply::finished, this, &DownloadTaskSpecification::onDownloadFinished);
    connect(m_Reply, &QNetworkReply::metaDataChanged, this, &DownloadTaskSpecification::onMetaDataChanged);
}

bool DownloadTaskSpecification::readAvailable()
{
    char buffer[kChunkSize];
    bool gotData = false;
    while (m_Reply) {
        m_StallTicks = 0;
        const qint64 available = m_Reply->bytesAvailable();
        if (available == 0)
            break;
        const qint64 got = m_Reply->read(buffer, std::min(available, kChunkSize));
        if (got == 0)
            break;
        if (got < 0) {
            restartOrFail(m_Reply->errorString());
            return false;
        }
        // A planned size is the whole file; more is a wrong or hostile answer that would
        // otherwise fill the disk before the digest check could reject it.
        if (m_BytesExpected >= 0 && got > m_BytesExpected - m_BytesReceived) {
            restartOrFail(QStringLiteral("%1 is larger than the expected %2 bytes").arg(m_Name).arg(m_BytesExpected));
            return false;
        }
        if (got > kWriteBufferSize - m_Pending && !writePending())
            return false;
        std::memcpy(m_WriteBuffer.get() + m_Pending, buffer, size_t(got));
        m_Pending += got;
        m_BytesReceived += got;
        gotData = true;
    }
    // Once per drained batch: nobody can observe the steps in between, and each step walks
    // the whole task tree.
    if (gotData && m_BytesTotal > 0)
        setProgress(std::min(1.0, qreal(m_BytesReceived) / qreal(m_BytesTotal)));
    return true;
}

bool DownloadTaskSpecification::writePending()
{
    if (m_Pending == 0)
        return true;
    const qint64 written = m_File.write(m_WriteBuffer.get(), m_Pending);
    if (written < 0) {
        restartOrFail(fileErrorText());
        return false;
    }
    if (written < m_Pending) {
        restartOrFail(QStringLiteral("Error writing to file %1. Should write %2 bytes but wrote %3 bytes")
                          .arg(m_File.fileName())
                          .arg(m_Pending)
                          .arg(written));
        return false;
    }
    m_Pending = 0;
    return true;
}

QString DownloadTaskSpecification::fileErrorText() const
{
    return QStringLiteral("Error writing to file %1: %2").arg(m_File.fileName(), m_File.errorString());
}

void DownloadTaskSpecification::onReadyRead()
{
    readAvailable();
}

void DownloadTaskSpecification::onDownloadProgress(qlonglong, qlonglong bytesTotal)
{
    if (bytesTotal > 0 && m_BytesTotal == -1)
        m_BytesTotal = bytesTotal;
}

void DownloadTaskSpecification::onMetaDataChanged()
{
    const QVariant status = m_Reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    if (code == 200)
        return;
    restartOrFail(QStringLiteral("%1 returned %2").arg(m_Name).arg(code));
}

void DownloadTaskSpecification::onDownloadFinished()
{
    if (!m_Reply)
        return;
    if (m_Reply->error() != QNetworkReply::NoError) {
        if (m_Reply->error() == QNetworkReply::AuthenticationRequiredError)
            m_Reply->close();
        restartOrFail(m_Reply->errorString());
        return;
    }
    // A progress receiver may have cancelled the task while the last data was drained.
    if (!readAvailable() || !m_Reply)
        return;
    if (!writePending())
        return;
    m_Reply->close();
    m_Reply->deleteLater();
    m_Reply = nullptr;
    m_File.close();
    m_WriteBuffer.reset();
    downloadFinished();
}

void DownloadTaskSpecification::downloadFinished()
{
    qDebug() << "Download finished:" << m_Name << m_File.fileName() << m_File.isOpen() << m_File.exists();
    emit message(QStringLiteral("Downloading %1 finished").arg(m_Name));
    setFinished();
}

void DownloadTaskSpecification::restartOrFail(const QString &reason)
{
    abandonDownload();
    emit message(reason);
    if (m_RetryCount++ < kMaxRestarts) {
        startDownload();
        return;
    }
    emit message(QStringLiteral("Unable to download %1").arg(m_Name));
    m_File.remove();
    setFailed();
}

void DownloadTaskSpecification::abandonDownload()
{
    if (m_Reply) {
        disconnect(m_Reply, nullptr, this, nullptr);
        m_Reply->deleteLater();
        m_Reply = nullptr;
    }
    m_StallTicks = 0;
    m_Pending = 0;
    m_WriteBuffer.reset();
    if (m_File.isOpen()) {
        m_File.close();
        m_File.remove();
    }
    m_BytesReported = 0;
    m_BytesTotal = m_BytesExpected;
    m_BytesReceived = 0;
    setProgress(0);
}

void DownloadTaskSpecification::getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading)
{
    done = quint64(m_BytesReceived);
    total = m_BytesTotal < 0 ? 0 : quint64(m_BytesTotal);
    speed = quint64(m_BytesReceived - m_BytesReported);
    m_BytesReported = m_BytesReceived;
    if (state == Running && m_Reply) {
        if (m_StallTicks++ < kStallTicks)
            downloading = true;
        else
            restartOrFail(QStringLiteral("file %1 timed out").arg(m_Name));
    }
}

void DownloadTaskSpecification::cancel()
{
    TaskSpecification::cancel();
    if (state == Running) {
        abandonDownload();
        setCanceled();
    }
}

void DownloadTaskSpecification::abort(TaskSpecification *)
{
    if (m_Reply) {
        emit message(QStringLiteral("Abort downloading %1").arg(m_Name));
        abandonDownload();
    }
    setFailed();
}

void DownloadTaskSpecification::reset()
{
    abandonDownload();
    m_RetryCount = 0;
    TaskSpecification::reset();
}
