// Defines ProcessTools, which starts the client or the new updater detached at the end of an update.
#include "processtools.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>

void ProcessTools::startMv3Client(const QString &dir)
{
    qDebug() << "startMv3Client";
    startMv3Client_linux(dir);
}

void ProcessTools::startClientUpdater(const QString &dir, const QStringList &args)
{
    qDebug() << "startClientUpdater" << dir << args;
    startNewUpdater_linux(dir, args);
}

void ProcessTools::startMv3Client_linux(const QString &dir)
{
    const QString program = dir + QStringLiteral("/mv3client_runscript.sh");
    qDebug() << "starting" << program;
    // Detached so the client outlives the updater; a failed start is not ours to report.
    QProcess::startDetached(program, QStringList(), dir);
}

void ProcessTools::startNewUpdater_linux(const QString &dir, const QStringList &args)
{
    const QString program = dir + QStringLiteral("/update");
    qDebug() << "startNewUpdater_linux" << program;
    if (!QFileInfo::exists(program)) {
        qDebug() << "Failed to find" << program;
        return;
    }
    qDebug() << "starting" << program;
    QProcess::startDetached(program, args, dir);
}
