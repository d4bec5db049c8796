// Entry point of the updater: log file, leftover removal, single-instance check, window and event loop.
#include "configuration.h"
#include "mainwindow.h"
#include "singleinstancechecker.h"
#include "updatechecker.h"
#include "updateengine.h"
#include "updateserverclient.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

#include <cstdlib>

namespace {

bool updateLogEnabled = false;

// The process's one log; lives until exit so that late lines from pool threads still find it.
class LogFile
{
public:
    LogFile()
    {
        // Logging is opt-in: only a marker file in the temporary path turns it on.
        updateLogEnabled = QFileInfo::exists(QDir::tempPath() + QStringLiteral("/mv3_update_log"));
        if (updateLogEnabled)
            open();
    }

    void write(const QString &line)
    {
        // Lines come from the main thread and from pool threads at once; one line at a time.
        QMutexLocker lock(&m_mutex);
        // An unopened device would warn, and the warning would come back here.
        if (!file || !file->isOpen())
            return;
        // The stream encodes with the locale's codec, the local 8-bit encoding.
        stream << line << '\n';
        stream.flush();
    }

    void close()
    {
        QMutexLocker lock(&m_mutex);
        if (file && file->isOpen()) {
            stream.flush();
            file->close();
        }
    }

    QFile *file = nullptr;
    QTextStream stream;

private:
    void open()
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

    QMutex m_mutex;
};

LogFile *logFile = nullptr;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!updateLogEnabled)
        return;
    const char *level = "Debug";
    switch (type) {
    case QtDebugMsg: level = "Debug"; break;
    case QtWarningMsg: level = "Warning"; break;
    case QtCriticalMsg: level = "Critical"; break;
    case QtFatalMsg: level = "Fatal"; break;
    case QtInfoMsg: level = "Info"; break;
    }
    logFile->write(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss:zzz")) +
                   QStringLiteral("\t|\t") + QLatin1String(level) + QStringLiteral("\t|\t") + message);
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    verifyProtobufLibraryVersion();
    qRegisterMetaType<UpdateVersions>("UpdateVersions");

    logFile = new LogFile;
    qInstallMessageHandler(messageHandler);

    QApplication app(argc, argv);
    const QString appDir = QCoreApplication::applicationDirPath();
    qDebug() << "Morvane updater started";

    UpdateEngine::removeQt4Files(appDir);
    for (const QString &dir : {appDir, appDir + QStringLiteral("/old"), appDir + QStringLiteral("/imageformats"),
                               appDir + QStringLiteral("/accessible"), appDir + QStringLiteral("/sqldrivers")})
        UpdateEngine::removeOldFiles(dir);
    QDir().rmdir(appDir + QStringLiteral("/old"));
    qDebug() << "Removing old files done";

    if (SingleInstanceChecker::sendToRunningInstance(QStringLiteral("#"))) {
        qDebug() << "Detected other instance running, aborting";
        return 0;
    }

    const QString locale = QLocale::system().name();
    QTranslator updateTranslator;
    if (updateTranslator.load(appDir + QStringLiteral("/translations/update_") + locale))
        app.installTranslator(&updateTranslator);
    QTranslator qtTranslator;
    if (qtTranslator.load(appDir + QStringLiteral("/translations/qt_") + locale))
        app.installTranslator(&qtTranslator);

    int exitCode = 1;
    {
        Configuration config;
        MainWindow window(&config);
        if (config.parseCommandLineOptions()) {
            QTimer::singleShot(2000, &window, SLOT(onStartUpdate()));
            window.updateHeader();
            window.show();
            window.delete_force_update_files();
            exitCode = app.exec();
            logFile->close();
            shutdownProtobufLibrary();
        } else {
            qWarning() << "Failed to parse command line options, aborting";
            exitCode = 1;
        }
    }
    return exitCode;
}
