// Defines SlowFileOpSpecification: saving an overwritten target, journalling, failure text.
#include "slowfileopspecification.h"

#include "rollback.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

SlowFileOpSpecification::SlowFileOpSpecification(RollbackDataList *journal, const QString &source,
                                                 const QString &target, const QString &failureMessage, QObject *parent,
                                                 qreal weight)
    : SlowFileOpSpecification(journal, source, QString(), target, failureMessage, parent, weight)
{
}

SlowFileOpSpecification::SlowFileOpSpecification(RollbackDataList *journal, const QString &source,
                                                 const QString &auxiliary, const QString &target,
                                                 const QString &failureMessage, QObject *parent, qreal weight)
    : ASyncTaskSpecification(parent, weight), m_Journal(journal), m_Source(source), m_Auxiliary(auxiliary),
      m_Target(target), m_FailureMessage(failureMessage)
{
}

bool SlowFileOpSpecification::overwritesTarget() const
{
    return true;
}

QString SlowFileOpSpecification::savedCopyPath(const QString &target)
{
    // Same directory, so the move is a rename on one file system and cannot run out of space.
    const QString base = target + QStringLiteral(".mv3_previous");
    QString candidate = base;
    for (int i = 1; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++i)
        candidate = base + QLatin1Char('_') + QString::number(i);
    return candidate;
}

void SlowFileOpSpecification::execute()
{
    const QFileInfo info(m_Target);
    const bool existed = info.exists() || info.isSymLink();
    m_OwnsTarget = !existed;
    if (existed && m_Journal && overwritesTarget()) {
        const QString copy = savedCopyPath(m_Target);
        if (!QFile::rename(m_Target, copy)) {
            qDebug() << "Could not move aside" << m_Target << "to" << copy;
            state = Running;
            emit message(m_FailureMessage);
            setFailed();
            return;
        }
        m_Journal->append(RollbackData::savedCopy(m_Target, copy));
        m_OwnsTarget = true;
    }
    ASyncTaskSpecification::execute();
}

void SlowFileOpSpecification::runDone(bool res)
{
    if (res && m_Journal)
        m_Journal->append(RollbackData(RollbackData::FILE_CREATE, m_Target));
    if (!res) {
        // A half-written target would otherwise block the saved copy's way back, or stay behind
        // as a corrupt file when nothing existed there before.
        if (m_OwnsTarget && QFileInfo(m_Target).isFile())
            QFile::remove(m_Target);
        emit message(m_FailureMessage);
    }
    ASyncTaskSpecification::runDone(res);
}
