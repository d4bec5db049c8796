// Defines Configuration, the start parameters of one updater run.
#include "configuration.h"

QString Configuration::s_updateImageUrl = QStringLiteral(MV3_UPDATE_IMAGE_URL);

Configuration::Configuration(QObject *parent) : QObject(parent) {}

QString Configuration::defaultClientType(int clientUpdate)
{
    return QString::fromLatin1(clientUpdate ? "client" : "update") + QStringLiteral("_linux_amd64");
}
