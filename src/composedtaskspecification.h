// Declares ComposedTaskSpecification, a task that runs its children a bounded number at a time.
#pragma once

#include "taskspecification.h"

#include <QList>

class ComposedTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ComposedTaskSpecification(int maxParallel, QObject *parent, qreal weight);
    ~ComposedTaskSpecification() override;

    void reset() override;
    void getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading) override;
    void cancel() override;
    void abort(TaskSpecification *other) override;
    // Decides and reports this task's end once no child runs.
    virtual void subtasksDone();
    virtual void connectSubTask(TaskSpecification *child);

    void addSubTask(TaskSpecification *child);
    void startSubtasks();
    TaskState combinedState() const;

    const QList<TaskSpecification *> &subTasks() const { return m_Children; }

signals:
    void startNextTask();

protected:
    // Disconnects and schedules deletion of every child and empties the lists.
    void deleteSubTasks();

    QList<TaskSpecification *> m_Children;
    QList<TaskSpecification *> m_Queue;
    QList<TaskSpecification *> m_Running;
    const int maxParallel;
    bool m_ChildStopped = false;
    bool m_DoneReported = false;

private slots:
    void onStartNextTask();
    void onUpdateProgress(qreal doneFrac);
    void onSubTaskFinished(TaskSpecification *child);
    void onSubTaskCanceled(TaskSpecification *child);
};
