// Defines UpdateEngine, which runs one update session: proxy, session record, main task, cleanup.
#include "updateengine.h"

#include "configuration.h"
#include "crypto.h"
#include "maintaskspecification.h"
#include "updateinidata.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTimer>
#include <QUrl>

namespace {

// Broken call order is a programming error: stop with the expected state in the message.
#define ENGINE_EXPECT_STATE(condition)                                                                                 \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            qFatal("ASSERT: \"%s\" in %s", #condition, Q_FUNC_INFO);                                                   \
    } while (false)

// A recorded directory is only emptied when it is one of ours: a "morvane_temp_" directory
// directly in the temporary path. update.ini is a plain file anyone may edit.
bool isSessionDirectory(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.fileName().startsWith(QLatin1String("morvane_temp_")))
        return false;
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    return !parent.isEmpty() && parent == QFileInfo(QDir::tempPath()).canonicalFilePath();
}

} // namespace

UpdateEngine::UpdateEngine(Configuration *config, QObject *parent)
    : QObject(parent), m_config(config), m_timer(new QTimer(this)), m_networkManager(new QNetworkAccessManager(this))
{
    connect(m_config, &Configuration::message, this, &UpdateEngine::message);
    connect(m_timer, &QTimer::timeout, this, &UpdateEngine::onTimer);
    m_config->readUpdateSettings();
    applyProxy();
}

void UpdateEngine::applyProxy()
{
    const QString &setting = m_config->m_proxy;
    if (setting.isEmpty()) {
        m_networkManager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    }
    const QUrl url(setting, QUrl::TolerantMode);
    // A URL without a host ("proxy:8080" reads as scheme and path) cannot name a proxy either.
    if (url.isValid() && !url.host().isEmpty()) {
        m_networkManager->setProxy(
            QNetworkProxy(QNetworkProxy::HttpProxy, url.host(QUrl::FullyDecoded), quint16(url.port(3128))));
        return;
    }
    m_proxyInvalid = true;
    m_networkManager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    // Queued: the window connects to this engine only after constructing it.
    const QString text = QStringLiteral("'%1' is an invalid proxy specification").arg(setting);
    QMetaObject::invokeMethod(
        this, [this, text]() { emit fatalError(text); }, Qt::QueuedConnection);
}

bool UpdateEngine::initialize()
{
    ENGINE_EXPECT_STATE(m_State == PRE_INIT);
    if (m_proxyInvalid)
        return false;

    try {
        registerCrypto();
    } catch (const crypt_exception &e) {
        emit fatalError(QString::fromLocal8Bit(e.what()));
        return false;
    }

    // Seeded for the tasks that still draw from qrand().
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QDateTime::currentSecsSinceEpoch()));
    QT_WARNING_POP

    int sessionVersion = 0;
    QString sessionDir;
    QString sessionMv3dir;
    if (UpdateIniData::get(&sessionVersion, nullptr, &sessionDir, &sessionMv3dir)) {
        qDebug() << "Current version =" << sessionVersion << "/ new version =" << m_config->m_version;
        if (sessionVersion == m_config->m_version) {
            qDebug() << "Continuing previous session";
            emit message(QStringLiteral("Previous update session for v. %1 found").arg(sessionVersion));
        } else {
            qDebug() << "Cleaning up previous session";
            emit message(
                QStringLiteral("Cleanup previous session (v. %1, %2) files...").arg(sessionVersion).arg(sessionDir));
            bool parentFound = false;
            const bool removed = removeSessionDirectory(sessionDir, &parentFound);
            if (parentFound)
                emit message(removed ? QStringLiteral("Ok") : QStringLiteral("Failed to remove directory"));
            sessionDir.clear();
            sessionMv3dir.clear();
            QFile::remove(UpdateIniData::updateIniPath());
        }
    }

    if (!m_config->initalizeStart(sessionDir, sessionMv3dir))
        return false;

    qDebug() << "initialize"
             << "modifying update.ini" << m_config->m_clientUpdate;
    if (!UpdateIniData::modify(m_config->m_version, m_config->m_tempDir, m_config->m_installDir,
                               m_config->m_clientType)) {
        qDebug() << "Failed to write to update.ini";
        emit error(QStringLiteral(
            "Failed to write update.ini. The updater does not seem to have the required write permissions."));
        return false;
    }
    m_State = POST_INIT;
    return true;
}

bool UpdateEngine::removeSessionDirectory(const QString &dir, bool *parentFound)
{
    if (!isSessionDirectory(dir)) {
        qDebug() << "Not a session directory, left alone:" << dir;
        if (parentFound)
            *parentFound = true;
        return false;
    }
    removeDirectoryContents(dir);
    const QFileInfo info(dir);
    QDir parent(info.absolutePath());
    if (!parent.exists())
        return false;
    if (parentFound)
        *parentFound = true;
    return parent.rmdir(info.fileName());
}

bool UpdateEngine::startUpdate()
{
    ENGINE_EXPECT_STATE(m_State == POST_INIT);
    qDebug() << "Starting update";
    m_mainTask = new MainTaskSpecification(m_networkManager, m_config, this, 1.0);
    connect(m_mainTask, &TaskSpecification::finished, this, &UpdateEngine::onTaskFinished);
    connect(m_mainTask, &TaskSpecification::canceled, this, &UpdateEngine::onTaskCanceled);
    connect(m_mainTask, &TaskSpecification::error, this, &UpdateEngine::error);
    connect(m_mainTask, &TaskSpecification::updateProgress, this, &UpdateEngine::updateProgress);
    connect(m_mainTask, &TaskSpecification::message, this, &UpdateEngine::message);
    m_State = RUNNING;
    m_timer->start(1000);
    m_mainTask->execute();
    return true;
}

bool UpdateEngine::isSessionActive() const
{
    return m_State == POST_INIT || m_State == RUNNING;
}

void UpdateEngine::onTimer()
{
    if (m_State != RUNNING || !m_mainTask)
        return;
    quint64 done = 0, total = 0, speed = 0;
    bool downloading = false;
    m_mainTask->getDownloadStatus(done, total, speed, downloading);
    emit downloadProgress(done, total, speed, downloading);
}

void UpdateEngine::cancelUpdate()
{
    if (m_State == RUNNING && m_mainTask)
        m_mainTask->cancel();
}

void UpdateEngine::onTaskFinished()
{
    m_timer->stop();
    cleanup();
    m_State = FINISHED;
    emit message(QStringLiteral("Update successfully finished"));
    releaseMainTask();
    emit downloadProgress(0, 0, 0, false);
    emit updateFinished();
}

void UpdateEngine::onTaskCanceled()
{
    m_timer->stop();
    m_State = CANCELED;
    if (m_mainTask && m_mainTask->state == TaskSpecification::Canceled)
        emit message(QStringLiteral("User aborted update"));
    releaseMainTask();
    emit downloadProgress(0, 0, 0, false);
    emit updateCanceled();
}

void UpdateEngine::resetAfterCancel()
{
    ENGINE_EXPECT_STATE(m_State == CANCELED);
    m_State = PRE_INIT;
    if (m_mainTask)
        disconnect(m_mainTask, nullptr, this, nullptr);
    releaseMainTask();
}

void UpdateEngine::releaseMainTask()
{
    if (m_mainTask) {
        m_mainTask->deleteLater();
        m_mainTask = nullptr;
    }
}

void UpdateEngine::cleanup()
{
    qDebug() << "cleanup";
    if (m_config->m_clientUpdate) {
        qDebug() << "Removing temporary files";
        emit message(QStringLiteral("Remove temporary files..."));
        QString dir;
        if (UpdateIniData::get(nullptr, nullptr, &dir, nullptr)) {
            removeSessionDirectory(dir);
            QFile::remove(UpdateIniData::updateIniPath());
        }
        emit message(QStringLiteral("Temporary files removed."));
    } else {
        const QString path = UpdateIniData::updateIniPath();
        QFile::remove(path);
        qDebug() << "Deleted local update.ini" << path;
        emit message(QStringLiteral("Removed temporary update.ini"));
    }
}

void UpdateEngine::removeOldFiles(const QString &dir)
{
    static const char *const names[] = {
        "update",         "libQtCore.so.4",  "libQtGui.so.4",  "libQtNetwork.so.4",
        "libQtSql.so.4",  "libQt5Core.so.5", "libQt5Gui.so.5", "libQt5Network.so.5",
        "libQt5Sql.so.5", "libqgif.so",      "libqjpeg.so",    "libqtaccessiblewidgets.so",
        "libsqlite.so"};
    const QDir base(dir);
    for (const char *name : names) {
        const QString path = base.absoluteFilePath(QStringLiteral("_old_") + QLatin1String(name));
        if (QFileInfo::exists(path)) {
            qDebug() << "Remove old file:" << path;
            QFile::remove(path);
        }
    }
}

void UpdateEngine::removeQt4Files(const QString &dir)
{
    static const char *const names[] = {"libQtCore.so.4", "libQtGui.so.4", "libQtNetwork.so.4", "libQtSql.so.4"};
    const QDir base(dir);
    for (const char *name : names) {
        const QString path = base.absoluteFilePath(QLatin1String(name));
        if (QFileInfo::exists(path)) {
            qDebug() << "Remove Qt4 file:" << path;
            QFile::remove(path);
        }
    }
}

void UpdateEngine::removeDirectoryContents(const QString &path)
{
    QDir dir(path);
    const QDir::Filters common = QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks;
    for (const QString &name : dir.entryList(QDir::Files | common))
        dir.remove(name);
    for (const QString &name : dir.entryList(QDir::Dirs | common)) {
        removeDirectoryContents(dir.absoluteFilePath(name));
        dir.rmdir(name);
    }
}
