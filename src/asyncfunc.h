// Declares ASyncFunc, the worker object whose run() executes on a pool thread.
#pragma once

#include <QObject>
#include <QString>

// Created without a parent on the main thread and never moved; only run() executes on the pool
// thread. Results and texts travel through the signals, which tasks connect queued.
class ASyncFunc : public QObject
{
    Q_OBJECT
public:
    ASyncFunc() = default;

    virtual bool run() = 0;

signals:
    void runResult(bool res);
    void message(QString message);
    void error(QString errorMessage);
    void progress(qreal progress);
};
