// Declares TaskSpecification, the base of every unit of update work in the task tree.
#pragma once

#include <QObject>
#include <QString>

class TaskSpecification : public QObject
{
    Q_OBJECT
public:
    enum TaskState { Idle = 0, Running = 1, Finished = 2, Failed = 3, Canceled = 4 };
    Q_ENUM(TaskState)

    TaskSpecification(QObject *parent, qreal weight);

    virtual void execute() = 0;
    virtual void reset();
    // Statistics for the engine's once-a-second poll; composed tasks add to the arguments.
    virtual void getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading);
    virtual void cancel();
    // A task elsewhere in the tree failed or was canceled while this one runs.
    virtual void abort(TaskSpecification *other);

    void setProgress(qreal fraction);
    void setFinished();
    void setFailed();
    void setCanceled();

    bool cancelRequested = false;
    const qreal weight;
    qreal doneFrac = 0;
    TaskState state = Idle;

signals:
    void finished(TaskSpecification *task);
    // Both failure and cancellation; the receiver reads the sender's state to tell them apart.
    void canceled(TaskSpecification *task);
    void error(QString errorMessage);
    void updateProgress(qreal doneFrac);
    void message(QString message);
    void otherTaskCancelled(TaskSpecification *task);

protected slots:
    void onOtherTaskCancelled(TaskSpecification *other);
};
