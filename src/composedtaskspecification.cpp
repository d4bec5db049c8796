// Defines ComposedTaskSpecification: child scheduling, progress sums and the combined end state.
#include "composedtaskspecification.h"

ComposedTaskSpecification::ComposedTaskSpecification(int maxParallel, QObject *parent, qreal weight)
    : TaskSpecification(parent, weight), maxParallel(maxParallel)
{
    // Queued so that a child never starts inside the previous child's end notification.
    connect(this, &ComposedTaskSpecification::startNextTask, this, &ComposedTaskSpecification::onStartNextTask,
            Qt::QueuedConnection);
}

ComposedTaskSpecification::~ComposedTaskSpecification()
{
    deleteSubTasks();
}

void ComposedTaskSpecification::deleteSubTasks()
{
    for (TaskSpecification *child : qAsConst(m_Children)) {
        disconnect(child, nullptr, this, nullptr);
        disconnect(this, nullptr, child, nullptr);
        child->deleteLater();
    }
    m_Children.clear();
    m_Queue.clear();
    m_Running.clear();
}

void ComposedTaskSpecification::reset()
{
    for (TaskSpecification *child : qAsConst(m_Children))
        child->reset();
    m_Queue = m_Children;
    m_Running.clear();
    m_ChildStopped = false;
    m_DoneReported = false;
    TaskSpecification::reset();
}

void ComposedTaskSpecification::getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading)
{
    downloading = false;
    for (TaskSpecification *child : qAsConst(m_Children)) {
        quint64 childDone = 0, childTotal = 0, childSpeed = 0;
        bool childDownloading = false;
        child->getDownloadStatus(childDone, childTotal, childSpeed, childDownloading);
        if (childDownloading)
            downloading = true;
        speed += childSpeed;
        if (childTotal != 0) {
            done += childDone;
            total += childTotal;
        }
    }
}

void ComposedTaskSpecification::cancel()
{
    TaskSpecification::cancel();
    if (state != Running)
        return;
    // Copy: a child may end synchronously, and an overridden subtasksDone() may drop children.
    const QList<TaskSpecification *> children = m_Children;
    for (TaskSpecification *child : children)
        child->cancel();
}

void ComposedTaskSpecification::abort(TaskSpecification *other)
{
    emit otherTaskCancelled(other);
}

void ComposedTaskSpecification::subtasksDone()
{
    const TaskState s = combinedState();
    if (s == Canceled)
        setCanceled();
    else if (s == Finished)
        setFinished();
    else
        setFailed();
}

void ComposedTaskSpecification::connectSubTask(TaskSpecification *child)
{
    connect(child, &TaskSpecification::finished, this, &ComposedTaskSpecification::onSubTaskFinished);
    connect(child, &TaskSpecification::canceled, this, &ComposedTaskSpecification::onSubTaskCanceled);
    connect(child, &TaskSpecification::error, this, &TaskSpecification::error);
    connect(child, &TaskSpecification::updateProgress, this, &ComposedTaskSpecification::onUpdateProgress);
    connect(child, &TaskSpecification::message, this, &TaskSpecification::message);
    // Named through this class: the slot is protected in the base.
    connect(this, &TaskSpecification::otherTaskCancelled, child, &ComposedTaskSpecification::onOtherTaskCancelled);
}

void ComposedTaskSpecification::addSubTask(TaskSpecification *child)
{
    m_Children.append(child);
    m_Queue.append(child);
    connectSubTask(child);
    onUpdateProgress(0);
}

void ComposedTaskSpecification::startSubtasks()
{
    state = Running;
    const int n = qMin(maxParallel, m_Queue.size());
    if (n == 0) {
        m_DoneReported = true;
        subtasksDone();
        return;
    }
    for (int i = 0; i < n; ++i)
        emit startNextTask();
}

TaskSpecification::TaskState ComposedTaskSpecification::combinedState() const
{
    bool allFinished = true;
    bool anyCanceled = false;
    for (const TaskSpecification *child : m_Children) {
        if (child->state == Failed)
            return Failed;
        if (child->state == Canceled)
            anyCanceled = true;
        if (child->state != Finished)
            allFinished = false;
    }
    if (anyCanceled)
        return Canceled;
    if (allFinished)
        return Finished;
    if (cancelRequested)
        return Canceled;
    if (m_ChildStopped)
        return Failed;
    return Running;
}

void ComposedTaskSpecification::onStartNextTask()
{
    if (m_Queue.isEmpty() || m_ChildStopped || cancelRequested) {
        if (m_Running.isEmpty() && !m_DoneReported) {
            m_DoneReported = true;
            subtasksDone();
        }
        return;
    }
    TaskSpecification *child = m_Queue.takeFirst();
    m_Running.append(child);
    child->execute();
}

void ComposedTaskSpecification::onUpdateProgress(qreal)
{
    qreal sum = 0;
    for (const TaskSpecification *child : qAsConst(m_Children))
        sum += child->doneFrac;
    setProgress(sum);
}

void ComposedTaskSpecification::onSubTaskFinished(TaskSpecification *child)
{
    m_Running.removeAll(child);
    emit startNextTask();
}

void ComposedTaskSpecification::onSubTaskCanceled(TaskSpecification *child)
{
    m_Running.removeAll(child);
    if (!m_ChildStopped) {
        m_ChildStopped = true;
        emit otherTaskCancelled(child);
    }
    if (m_Running.isEmpty() && !m_DoneReported) {
        m_DoneReported = true;
        subtasksDone();
    }
}
