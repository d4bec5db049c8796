// Defines MainTaskSpecification, the root task of one update that runs its steps one after another.
#include "maintaskspecification.h"

#include "configuration.h"

MainTaskSpecification::MainTaskSpecification(QNetworkAccessManager *manager, Configuration *config, QObject *parent,
                                             qreal weight)
    : ComposedTaskSpecification(1, parent, weight), manager(manager), config(config)
{
}

void MainTaskSpecification::execute()
{
    emit message(QStringLiteral("Starting update process for ") +
                 QLatin1String(config->m_clientUpdate ? "client" : "updater"));
    makeSubtasksAndStart();
}

void MainTaskSpecification::makeSubtasksAndStart()
{
    state = Running;
    startSubtasks();
}

void MainTaskSpecification::reset()
{
    deleteSubTasks();
    // With no children left this only clears the run flags and the base.
    ComposedTaskSpecification::reset();
}
