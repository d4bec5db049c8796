// Defines TestKeys by running the publisher tool as a child process.
#include "testkeys.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#ifndef MV3_RELEASE_TOOL
#define MV3_RELEASE_TOOL ""
#endif
#ifndef MV3_TEST_PRIVATE_KEY
#define MV3_TEST_PRIVATE_KEY ""
#endif

QString TestKeys::releaseTool()
{
    return QStringLiteral(MV3_RELEASE_TOOL);
}

QString TestKeys::privateKey()
{
    return QStringLiteral(MV3_TEST_PRIVATE_KEY);
}

bool TestKeys::canSign()
{
    return !privateKey().isEmpty() && QFileInfo::exists(privateKey()) && QFileInfo::exists(releaseTool());
}

bool TestKeys::sign(const QString &file, QString *output)
{
    QProcess tool;
    tool.start(releaseTool(), {QStringLiteral("sign"), QStringLiteral("--key"), privateKey(), file});
    const bool finished = tool.waitForFinished(30000);
    if (output)
        *output = QString::fromLocal8Bit(tool.readAllStandardError());
    return finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}
