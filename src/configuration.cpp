// Defines Configuration, the start parameters of one updater run.
#include "configuration.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QWidget>

QString Configuration::s_updateImageUrl = QStringLiteral(MV3_UPDATE_IMAGE_URL);

Configuration::Configuration(QObject *parent) : QObject(parent) {}

QString Configuration::defaultClientType(int clientUpdate)
{
    return QString::fromLatin1(clientUpdate ? "client" : "update") + QStringLiteral("_linux_amd64");
}

QString Configuration::channelName(int channel)
{
    switch (channel) {
    case STABLE: return QStringLiteral("stable");
    case BETA: return QStringLiteral("beta");
    case ALPHA: return QStringLiteral("alpha");
    }
    return QString();
}

QString Configuration::configDir()
{
    QString dir = qEnvironmentVariable("MV3_CONFIG_DIR");
    if (dir.isEmpty())
        return QDir::homePath() + QStringLiteral("/.mv3client/");
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

bool Configuration::parseCommandLineOptions()
{
    return parseCommandLineOptions(QCoreApplication::arguments());
}

bool Configuration::parseCommandLineOptions(const QStringList &arguments)
{
    const int n = arguments.size();
    qDebug() << "parseCommandLineOptions" << arguments;

    m_clientUpdate = (n >= 2 && arguments.at(1) == QLatin1String("--clientupdate")) ? 1 : 0;
    getUpdateChannel();

    if (n >= 2 &&
        (arguments.at(1) == QLatin1String("--clientupdate") || arguments.at(1) == QLatin1String("--nouser"))) {
        qDebug() << "CLIENTUPDATE" << (m_clientUpdate != 0);
        if (n >= 4) {
            m_clientType = arguments.at(2);
            if (!takeVersion(arguments.at(3), QObject::tr("Invalid version nr (%1)")))
                return false;
        }
        if (n >= 5 && arguments.at(4) != QLatin1String("#"))
            m_versionString = arguments.at(4);
        getDefaultParameters();
    } else if (n == 3 && !arguments.at(1).startsWith(QLatin1Char('-'))) {
        m_clientType = arguments.at(1);
        if (!takeVersion(arguments.at(2), QObject::tr("Invalid version nr (%1)")))
            return false;
    } else {
        qDebug() << "Empty cmdline params";
        getDefaultParameters();
    }

    if (m_version != 0)
        m_ready = true;
    return true;
}

bool Configuration::takeVersion(const QString &text, const QString &errorTemplate)
{
    if (m_version != 0)
        return true;
    bool ok = false;
    const int version = text.toInt(&ok, 10);
    // 0 stands for "not yet known" and no release has a negative number: neither may start an update.
    if (!ok || version <= 0) {
        emit fatalError(errorTemplate.arg(text));
        return false;
    }
    m_version = version;
    return true;
}

void Configuration::getUpdateChannel()
{
    qDebug() << "Searching update.ini";
    QString iniPath = configDir() + QStringLiteral("update.ini");
    bool exists = QFileInfo::exists(iniPath);
    qDebug() << "Update ini check #1 in CONFIG" << iniPath << exists;
    if (exists) {
        qDebug() << "Found CONFIG/update.ini";
    } else {
        iniPath = QCoreApplication::applicationDirPath() + QStringLiteral("/update.ini");
        exists = QFileInfo::exists(iniPath);
        qDebug() << "Update ini check #2 in INSTALL" << iniPath << exists;
        if (exists)
            qDebug() << "Found INSTALL/update.ini";
    }

    if (!exists) {
        m_channel = STABLE;
        m_version = 0;
        s_updateImageUrl = QStringLiteral(MV3_UPDATE_IMAGE_URL);
        qDebug() << "No update.ini found, using stable channel, URL =" << s_updateImageUrl;
        return;
    }

    QSettings settings(iniPath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Channel"));
    const QString alpha = settings.value(QStringLiteral("alpha"), QString()).toString();
    bool beta = settings.value(QStringLiteral("beta"), false).toBool();
    if (!beta)
        beta = settings.value(QStringLiteral("Beta"), false).toBool();

    if (!alpha.isEmpty()) {
        m_channel = ALPHA;
        m_version = settings.value(QStringLiteral("alphaRevno"), 0).toInt();
        s_updateImageUrl = alpha.endsWith(QLatin1Char('/')) ? alpha : alpha + QLatin1Char('/');
        qDebug() << "Alpha channel detected, URL =" << s_updateImageUrl;
    } else {
        m_channel = beta ? BETA : STABLE;
        m_version = 0;
        s_updateImageUrl = QStringLiteral(MV3_UPDATE_IMAGE_URL);
        qDebug() << (beta ? "Beta" : "Stable") << "channel detected, URL =" << s_updateImageUrl;
    }
}

bool Configuration::getDefaultParameters()
{
    qDebug() << "getDefaultParameters" << m_clientType;
    if (m_clientType.isEmpty())
        m_clientType = defaultClientType(m_clientUpdate);
    qDebug() << "clientType" << m_clientType;
    if (m_version == 0) {
        UpdateChecker *checker = new UpdateChecker(this);
        connect(checker, &UpdateChecker::update_available, this, &Configuration::on_updateAvailable);
        checker->start();
    }
    return true;
}

void Configuration::on_updateAvailable(UpdateVersions versions)
{
    qDebug() << "on_updateAvailable" << versions;
    if (versions.isEmpty()) {
        QWidget *parent = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("MainWindow")) {
                parent = widget;
                break;
            }
        }
        QMessageBox::critical(parent, QObject::tr("Error"),
                              QObject::tr("Failed to query latest client\nversion from update server."),
                              QMessageBox::Abort);
        QCoreApplication::quit();
        return;
    }

    const QPair<QString, QString> entry = versions.value(channelName(m_channel));
    qDebug() << "Received version from remote server:" << entry;
    if (entry.first.isEmpty()) {
        emit fatalError(QObject::tr("Update server returned no version"));
        return;
    }
    if (!takeVersion(entry.first, QObject::tr("Update server returned invalid version nr (%1)")))
        return;
    m_versionString = entry.second;
    m_ready = true;
    emit ready();
}

bool Configuration::createTempDir()
{
    QString base = QDir::tempPath();
    if (base.isEmpty()) {
        qDebug() << "*Error* Unable to get temp directory";
        emit fatalError(QObject::tr("Unable to get temp directory."));
        return false;
    }
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    base += QStringLiteral("morvane_temp_");

    for (int i = 0; i < 1000; ++i) {
        const QString candidate = base + QString::number(i);
        if (QFileInfo(candidate).isDir())
            continue;
        if (QDir().mkpath(candidate)) {
            m_tempDir = candidate;
            return true;
        }
    }
    qDebug() << "*Error* Unable to create temp directory";
    emit fatalError(QObject::tr("Unable to create temp directory."));
    return false;
}

bool Configuration::initalizeStart(const QString &tempDir, const QString &installDir)
{
    qDebug() << "initalizeStart" << tempDir << installDir;
    if (!tempDir.isEmpty())
        m_tempDir = tempDir;
    else if (!createTempDir())
        return false;
    m_installDir = !installDir.isEmpty() ? installDir : QCoreApplication::applicationDirPath();
    return true;
}

void Configuration::readUpdateSettings()
{
    QSettings settings(QCoreApplication::applicationDirPath() + QStringLiteral("/update.ini"), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("update"));
    m_proxy = settings.value(QStringLiteral("proxy"), QString()).toString();
    m_streams = settings.value(QStringLiteral("streams"), 6).toInt();
    if (m_streams < 1)
        m_streams = 6;
}
