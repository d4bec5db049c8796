// Defines UpdateIniData, which reads and writes the record of the update in progress in update.ini.
#include "updateinidata.h"

#include "configuration.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// Writes the "current" group, keeping every other group of the file; returns the QSettings status.
int writeRecord(const QString &path, int version, const QString &dir, const QString &mv3dir, const QString &type)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("current"));
    settings.setValue(QStringLiteral("version"), version);
    settings.setValue(QStringLiteral("dir"), dir);
    settings.setValue(QStringLiteral("mv3dir"), mv3dir);
    settings.setValue(QStringLiteral("type"), type);
    settings.endGroup();
    settings.sync();
    return int(settings.status());
}

} // namespace

QString UpdateIniData::updateIniPath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("update.ini"));
}

bool UpdateIniData::get(int *version, QString *type, QString *dir, QString *mv3dir)
{
    const QString path = updateIniPath();
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("current"));
    bool versionOk = false;
    const int iniVersion = settings.value(QStringLiteral("version")).toInt(&versionOk);
    const QString iniDir = settings.value(QStringLiteral("dir")).toString();
    const QString iniMv3dir = settings.value(QStringLiteral("mv3dir")).toString();
    const QString iniType = settings.value(QStringLiteral("type")).toString();
    qDebug() << "get" << path << iniVersion << iniDir << iniMv3dir << iniType;

    if (!versionOk || iniType.isEmpty() || iniDir.isEmpty() || !QFileInfo::exists(iniDir))
        return false;
    if (version)
        *version = iniVersion;
    if (type)
        *type = iniType;
    if (dir)
        *dir = iniDir;
    if (mv3dir)
        *mv3dir = iniMv3dir;
    return true;
}

bool UpdateIniData::modify(int version, const QString &dir, const QString &mv3dir, const QString &type)
{
    const QString path = updateIniPath();
    qDebug() << "modify" << path << version << dir << mv3dir << type;
    const int status = writeRecord(path, version, dir, mv3dir, type);
    qDebug() << "UpdateiniData::modify write result" << status;
    return status == QSettings::NoError;
}

bool UpdateIniData::modifyTempIni(const QString &targetDir)
{
    const QString path = targetDir + QStringLiteral("/update.ini");
    qDebug() << "modifyTempIni" << path;
    int version = 0;
    QString dir;
    QString mv3dir;
    if (!get(&version, nullptr, &dir, &mv3dir)) {
        qDebug() << "Failed to read existing update.ini";
        return false;
    }
    const int status = writeRecord(path, version, dir, mv3dir, Configuration::defaultClientType(1));
    qDebug() << "UpdateiniData::modifyTempIni write result" << status;
    return status == QSettings::NoError;
}
