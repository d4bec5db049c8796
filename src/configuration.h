// Declares Configuration, the start parameters of one updater run.
#pragma once

#include <QObject>
#include <QString>

class Configuration : public QObject
{
    Q_OBJECT
public:
    enum UpdateChannel { STABLE = 0, BETA = 1, ALPHA = 2 };

    explicit Configuration(QObject *parent = nullptr);

    static QString defaultClientType(int clientUpdate);

    bool m_ready = false;
    int m_clientUpdate = 0;
    int m_channel = STABLE;
    QString m_clientType;
    int m_version = 0;
    QString m_versionString;
    QString m_tempDir;
    QString m_installDir;
    QString m_proxy;
    int m_streams = 1;

    // Base URL of the product ini and every update file; always ends with "/".
    static QString s_updateImageUrl;

signals:
    void ready();
    void fatalError(QString errorMessage);
    void message(QString message);
};
