// Declares MainTaskSpecification, the root task of one update that runs its steps one after another.
#pragma once

#include "composedtaskspecification.h"

class Configuration;
class QNetworkAccessManager;

class MainTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    MainTaskSpecification(QNetworkAccessManager *manager, Configuration *config, QObject *parent, qreal weight);

    void execute() override;
    void reset() override;

    void makeSubtasksAndStart();

    QNetworkAccessManager *manager;
    Configuration *config;
    // TODO: own the UpdatePlan and build the product-ini, plan, download, install and cleanup
    // steps once those tasks exist; until then the sequence is empty and finishes at once.
};
