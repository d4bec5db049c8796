// Declares DownloadTaskSpecification, the leaf task that fetches one file over HTTP.
#pragma once

#include "taskspecification.h"

#include <QFile>
#include <QNetworkReply>
#include <QPointer>
#include <QString>

#include <memory>

class QNetworkAccessManager;

class DownloadTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    // expectedSize -1: unknown, taken from the answer's Content-Length when there is one.
    DownloadTaskSpecification(QNetworkAccessManager *manager, const QString &name, int version,
                              const QString &localPath, qint64 expectedSize, qreal weight, QObject *parent);
    ~DownloadTaskSpecification() override;

    void execute() override;
    void reset() override;
    // Also the stall clock: each call without new data since the previous one is one tick.
    void getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading) override;
    void cancel() override;
    void abort(TaskSpecification *other) override;
    virtual void downloadFinished();

    // Restarts after this many silent statistics queries.
    static const int kStallTicks = 15;
    static const int kMaxRestarts = 4;

private slots:
    void onDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onReadyRead();
    void onDownloadFinished();
    void onMetaDataChanged();

protected:
    void startDownload();
    void restartOrFail(const QString &reason);
    void abandonDownload();
    bool readAvailable();
    QString fileErrorText() const;
    // Writes the staged bytes; on failure restarts or fails the task and returns false.
    bool writePending();

    QNetworkAccessManager *m_Manager;
    // Guarded: the manager deletes its replies when it goes, which may be before this task.
    QPointer<QNetworkReply> m_Reply;
    int m_StallTicks = 0;
    QString m_Name;
    int m_Version;
    QFile m_File;
    int m_RetryCount = 0;
    qint64 m_BytesReported = 0;
    qint64 m_BytesTotal;
    qint64 m_BytesExpected;
    qint64 m_BytesReceived = 0;
    // Drained chunks are staged here so the file sees few large writes instead of many 4 KiB ones.
    std::unique_ptr<char[]> m_WriteBuffer;
    qint64 m_Pending = 0;
    static const qint64 kWriteBufferSize = 1024 * 1024;
};
