// Defines TaskSpecification: progress accounting and the three ways a task ends.
#include "taskspecification.h"

TaskSpecification::TaskSpecification(QObject *parent, qreal weight) : QObject(parent), weight(weight) {}

void TaskSpecification::reset()
{
    cancelRequested = false;
    state = Idle;
    doneFrac = 0 * weight;
    emit updateProgress(doneFrac);
}

void TaskSpecification::getDownloadStatus(quint64 &done, quint64 &total, quint64 &speed, bool &downloading)
{
    done = 0;
    total = 0;
    speed = 0;
    downloading = false;
}

void TaskSpecification::cancel()
{
    cancelRequested = true;
}

void TaskSpecification::abort(TaskSpecification *) {}

void TaskSpecification::setProgress(qreal fraction)
{
    doneFrac = fraction * weight;
    emit updateProgress(doneFrac);
}

void TaskSpecification::setFinished()
{
    state = Finished;
    doneFrac = weight;
    emit updateProgress(weight);
    emit finished(this);
}

void TaskSpecification::setFailed()
{
    state = Failed;
    emit canceled(this);
}

void TaskSpecification::setCanceled()
{
    state = Canceled;
    emit canceled(this);
}

void TaskSpecification::onOtherTaskCancelled(TaskSpecification *other)
{
    if (other != this && state == Running)
        abort(other);
}
