// Defines LogFile, the process's optional log, and the Qt message handler that writes into it.
#include "logfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cstdlib>

bool updateLogEnabled = false;
LogFile *LogFile::s_current = nullptr;

LogFile::LogFile()
{
    // Logging is opt-in: only a marker file in the temporary path turns it on.
    updateLogEnabled = QFileInfo::exists(QDir::tempPath() + QStringLiteral("/mv3_update_log"));
    if (updateLogEnabled)
        open();
    s_current = this;
}

LogFile::~LogFile()
{
    if (s_current == this)
        s_current = nullptr;
    close();
    delete file;
}

void LogFile::open()
{
    const QString dir = QDir::toNativeSeparators(QDir::tempPath() + QDir::separator() +
                                                 QStringLiteral("morvane_update_log") + QDir::separator());
    if (!QFileInfo(dir).isDir())
        QDir().mkdir(dir);
    QString stamp = QDateTime::currentDateTime().toString(Qt::ISODate);
    stamp.replace(QLatin1Char(':'), QLatin1Char('_'));
    stamp.replace(QLatin1Char('T'), QStringLiteral("__"));
    file = new QFile(dir + QStringLiteral("update__") + stamp + QStringLiteral(".log"));
    // A log that cannot be opened only loses lines.
    file->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate);
    stream.setDevice(file);
}

void LogFile::write(const QString &line)
{
    QMutexLocker lock(&m_mutex);
    // An unopened device would warn, and the warning would come back here.
    if (!file || !file->isOpen())
        return;
    // The stream encodes with the locale's codec, the local 8-bit encoding.
    stream << line << '\n';
    stream.flush();
}

void LogFile::close()
{
    QMutexLocker lock(&m_mutex);
    if (file && file->isOpen()) {
        stream.flush();
        file->close();
    }
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!updateLogEnabled || !LogFile::s_current)
        return;
    const char *level = "Debug";
    switch (type) {
    case QtDebugMsg: level = "Debug"; break;
    case QtWarningMsg: level = "Warning"; break;
    case QtCriticalMsg: level = "Critical"; break;
    case QtFatalMsg: level = "Fatal"; break;
    case QtInfoMsg: level = "Info"; break;
    }
    LogFile::s_current->write(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz")) +
                              QStringLiteral("\t|\t") + QLatin1String(level) + QStringLiteral("\t|\t") + message);
    if (type == QtFatalMsg)
        std::abort();
}
