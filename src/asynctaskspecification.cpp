// Defines ASyncTaskSpecification: the hand-off to the pool and the queued hand-back.
#include "asynctaskspecification.h"

#include "asyncfunc.h"
#include "asyncrun.h"

#include <QThreadPool>

ASyncTaskSpecification::ASyncTaskSpecification(QObject *parent, qreal weight) : TaskSpecification(parent, weight) {}

void ASyncTaskSpecification::execute()
{
    ASyncFunc *func = createFunc();
    connectFunc(func);
    QThreadPool::globalInstance()->start(new ASyncRun(func), 0);
    state = Running;
}

void ASyncTaskSpecification::reset()
{
    QThreadPool::globalInstance()->waitForDone();
    TaskSpecification::reset();
}

void ASyncTaskSpecification::connectFunc(ASyncFunc *func)
{
    connect(func, &ASyncFunc::runResult, this, &ASyncTaskSpecification::onRunResult, Qt::QueuedConnection);
    connect(func, &ASyncFunc::message, this, &TaskSpecification::message, Qt::QueuedConnection);
    connect(func, &ASyncFunc::error, this, &TaskSpecification::error, Qt::QueuedConnection);
    connect(func, &ASyncFunc::progress, this, &ASyncTaskSpecification::onProgress, Qt::QueuedConnection);
}

void ASyncTaskSpecification::runDone(bool res)
{
    if (state != Running)
        return;
    if (res)
        setFinished();
    else
        setFailed();
}

void ASyncTaskSpecification::onRunResult(bool res)
{
    runDone(res);
}

void ASyncTaskSpecification::onProgress(qreal progress)
{
    setProgress(progress);
}
