// Runs TestHttpServer as a stand-alone program for manual checks and child-process tests.
#include "testhttpserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a directory over HTTP on 127.0.0.1."));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("port"), QStringLiteral("Port (0 = ephemeral)."), QStringLiteral("port"), QStringLiteral("0")});
    parser.addOption(
        {QStringLiteral("root"), QStringLiteral("Directory to serve."), QStringLiteral("dir"), QStringLiteral(".")});
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535) {
        QTextStream(stderr) << "invalid port\n";
        return 2;
    }
    TestHttpServer server;
    server.setRoot(parser.value(QStringLiteral("root")));
    if (!server.start(quint16(port))) {
        QTextStream(stderr) << "cannot listen on port " << port << "\n";
        return 1;
    }
    // The first line tells a parent process where to connect.
    QTextStream(stdout) << server.baseUrl() << Qt::endl;
    return app.exec();
}
