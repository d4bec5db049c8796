// Defines the undo of journalled file, rename and directory changes.
#include "rollback.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#include <utility>

RollbackData::RollbackData(int op, const QString &oldPath, const QString &newPath)
    : m_Path(newPath), m_OldPath(oldPath), m_Op(op)
{
    if (op != FILE_RENAME)
        qFatal("ASSERT: \"op==FILE_RENAME\" in RollbackData");
}

RollbackData::RollbackData(int op, const QString &path) : m_Path(path), m_Op(op)
{
    if (op == FILE_RENAME)
        qFatal("ASSERT: \"op!=FILE_RENAME\" in RollbackData");
}

RollbackData RollbackData::savedCopy(const QString &original, const QString &copy)
{
    RollbackData data(FILE_RENAME, original, copy);
    data.m_SavedCopy = true;
    return data;
}

bool RollbackData::rollback(QObject *reportTo) const
{
    switch (m_Op) {
    case FILE_RENAME:
        if (!QFile::rename(m_Path, m_OldPath)) {
            message(reportTo, QStringLiteral("warning: rollback rename %1 to %2 failed").arg(m_OldPath, m_Path));
            return false;
        }
        return true;
    case FILE_CREATE:
        if (!QFile::remove(m_Path)) {
            message(reportTo, QStringLiteral("warning: rollback create file %1 failed").arg(m_Path));
            return false;
        }
        return true;
    case DIR_CREATE: {
        const QFileInfo info(QDir::cleanPath(m_Path));
        if (!info.dir().rmdir(info.fileName())) {
            message(reportTo, QStringLiteral("warning: rollback create dir %1 failed").arg(m_Path));
            return false;
        }
        return true;
    }
    default: qFatal("Should not reach here");
    }
    return false;
}

void RollbackData::message(QObject *target, const QString &text)
{
    if (!target)
        return;
    if (!QMetaObject::invokeMethod(target, "message", Q_ARG(QString, text)))
        qDebug() << "Warning: message signal was not found in RollbackData::message";
}

bool RollbackDataList::rollbackAll(QObject *reportTo)
{
    bool ok = true;
    while (!isEmpty()) {
        if (!takeLast().rollback(reportTo))
            ok = false;
    }
    return ok;
}

bool RollbackDataList::commit()
{
    bool ok = true;
    for (const RollbackData &data : std::as_const(*this)) {
        if (data.m_SavedCopy && QFile::exists(data.m_Path) && !QFile::remove(data.m_Path)) {
            qDebug() << "Could not delete saved copy" << data.m_Path;
            ok = false;
        }
    }
    clear();
    return ok;
}
