// Declares UpdateChecker, which asks the version server for the current version of every channel.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QString>

// Channel name -> (version number in decimal, version string); empty when the query failed.
typedef QHash<QString, QPair<QString, QString>> UpdateVersions;
Q_DECLARE_METATYPE(UpdateVersions)

class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    explicit UpdateChecker(QObject *parent);

    // Starts the query on a thread of its own and returns at once.
    void start();

signals:
    void update_available(UpdateVersions versions);

private slots:
    void on_updateCheckAvailable(QByteArray updateData);
};
