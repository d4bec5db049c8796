// Declares FastFileOpTaskSpecification, a file operation done synchronously on the main thread.
#pragma once

#include "taskspecification.h"

#include <QString>

class RollbackData;
class RollbackDataList;

class FastFileOpTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    FastFileOpTaskSpecification(const QString &path, RollbackDataList *journal, QObject *parent, qreal weight);

    // Runs doOp() at once, so the parent hears of the end from inside execute().
    void execute() override;
    virtual bool doOp() = 0;

    void addRollbackData(const RollbackData &data);

protected:
    RollbackDataList *m_Journal;
    QString m_Path;
};
