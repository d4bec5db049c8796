// Declares ASyncTaskSpecification, a leaf task whose work runs on Qt's global thread pool.
#pragma once

#include "taskspecification.h"

class ASyncFunc;

class ASyncTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ASyncTaskSpecification(QObject *parent, qreal weight);

    void execute() override;
    void reset() override;
    // Returns a new worker loaded with copies of this task's inputs.
    virtual ASyncFunc *createFunc() = 0;
    virtual void connectFunc(ASyncFunc *func);
    virtual void runDone(bool res);

protected slots:
    void onRunResult(bool res);
    void onProgress(qreal progress);
};
