// Declares RollbackData and RollbackDataList, the undo journal of installation changes.
#pragma once

#include <QList>
#include <QString>

class QObject;

// One change that can be reversed. Plain value type.
class RollbackData
{
public:
    enum Operation { FILE_RENAME = 0, FILE_CREATE = 1, DIR_CREATE = 2 };

    // Rename form: the file oldPath was moved to newPath.
    RollbackData(int op, const QString &oldPath, const QString &newPath);
    // Single-path form: the file or directory path was created.
    RollbackData(int op, const QString &path);
    // The existing file original was moved aside to copy so that a write over it can be undone;
    // undone like any rename, and deleted by RollbackDataList::commit() when the changes stand.
    static RollbackData savedCopy(const QString &original, const QString &copy);

    // Undoes the change; a failure is reported to reportTo's "message" member and gives false.
    bool rollback(QObject *reportTo) const;
    static void message(QObject *target, const QString &text);

    QString m_Path;
    QString m_OldPath;
    int m_Op;
    bool m_SavedCopy = false;
};

// Entries in the order the changes were made; undone newest first.
class RollbackDataList : public QList<RollbackData>
{
public:
    // Undoes every entry, newest first, even after a failed undo, and empties the list.
    bool rollbackAll(QObject *reportTo);
    // The changes stand: deletes the saved copies of overwritten files and empties the list.
    // Returns false if a saved copy could not be deleted.
    bool commit();
};
