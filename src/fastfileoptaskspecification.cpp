// Defines FastFileOpTaskSpecification: run the operation in place and journal its changes.
#include "fastfileoptaskspecification.h"

#include "rollback.h"

FastFileOpTaskSpecification::FastFileOpTaskSpecification(const QString &path, RollbackDataList *journal,
                                                         QObject *parent, qreal weight)
    : TaskSpecification(parent, weight), m_Journal(journal), m_Path(path)
{
}

void FastFileOpTaskSpecification::execute()
{
    state = Running;
    if (doOp())
        setFinished();
    else
        setFailed();
}

void FastFileOpTaskSpecification::addRollbackData(const RollbackData &data)
{
    if (m_Journal)
        m_Journal->append(data);
}
