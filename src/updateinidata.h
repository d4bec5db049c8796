// Declares UpdateIniData, which reads and writes the record of the update in progress in update.ini.
#pragma once

#include <QString>

class UpdateIniData
{
public:
    // Reads the record beside the running updater; false when there is no usable record.
    static bool get(int *version, QString *type, QString *dir, QString *mv3dir);
    static bool modify(int version, const QString &dir, const QString &mv3dir, const QString &type);
    // Copies the record into targetDir/update.ini for the updater that runs from there.
    static bool modifyTempIni(const QString &targetDir);
    static QString updateIniPath();
};
