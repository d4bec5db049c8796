// Declares Configuration, the start parameters of one updater run.
#pragma once

#include "updatechecker.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Configuration : public QObject
{
    Q_OBJECT
public:
    enum UpdateChannel { STABLE = 0, BETA = 1, ALPHA = 2 };

    explicit Configuration(QObject *parent = nullptr);

    // Reads the process's own command line.
    bool parseCommandLineOptions();
    // The same for a given argument list (program name first).
    bool parseCommandLineOptions(const QStringList &arguments);
    void getUpdateChannel();
    bool getDefaultParameters();
    bool initalizeStart(const QString &tempDir, const QString &installDir);
    bool createTempDir();
    void readUpdateSettings();

    static QString configDir();
    static QString defaultClientType(int clientUpdate);
    // "stable", "beta" or "alpha" as the version server names them; empty for other values.
    static QString channelName(int channel);

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

public slots:
    void on_updateAvailable(UpdateVersions versions);

private:
    // Leaves a known version alone; otherwise converts text, reporting failure with the template.
    bool takeVersion(const QString &text, const QString &errorTemplate);
};
