// Entry point of the updater: log file, leftover removal, single-instance check, window and event loop.
#include "configuration.h"
#include "logfile.h"
#include "mainwindow.h"
#include "singleinstancechecker.h"
#include "updatechecker.h"
#include "updateengine.h"
#include "updateserverclient.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char *argv[])
{
    verifyProtobufLibraryVersion();
    qRegisterMetaType<UpdateVersions>("UpdateVersions");

    // Never destroyed: pool threads may still log while the process ends.
    LogFile *logFile = new LogFile;
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
