// Declares ProcessTools, which starts the client or the new updater detached at the end of an update.
#pragma once

#include <QString>
#include <QStringList>

class ProcessTools
{
public:
    // dir is the client's installation directory; the client starts through its run script.
    static void startMv3Client(const QString &dir);
    // dir holds the new updater (the update's temporary directory).
    static void startClientUpdater(const QString &dir, const QStringList &args);

private:
    static void startMv3Client_linux(const QString &dir);
    static void startNewUpdater_linux(const QString &dir, const QStringList &args);
};
