// Benchmark driver: downloads files in parallel with DownloadTaskSpecification, polled like the engine.
#include "composedtaskspecification.h"
#include "configuration.h"
#include "downloadtaskspecification.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTextStream>
#include <QTimer>

namespace {

class AllAtOnce : public ComposedTaskSpecification
{
public:
    explicit AllAtOnce(int n) : ComposedTaskSpecification(n, nullptr, 1.0) {}
    void execute() override { startSubtasks(); }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        QTextStream(stderr) << "usage: benchdownload BASE_URL VERSION OUT_DIR NAME...\n"
                               "  downloads BASE_URL/VERSION/NAME for every NAME at once into OUT_DIR\n";
        return 2;
    }
    Configuration::s_updateImageUrl =
        args.at(1).endsWith(QLatin1Char('/')) ? args.at(1) : args.at(1) + QLatin1Char('/');
    const int version = args.at(2).toInt();
    const QDir out(args.at(3));
    const QStringList names = args.mid(4);

    QNetworkAccessManager manager;
    AllAtOnce parent(names.size());
    for (const QString &name : names)
        parent.addSubTask(new DownloadTaskSpecification(
            &manager, name, version, out.filePath(QFileInfo(name).fileName()), -1, 1.0 / names.size(), &parent));
    QObject::connect(&parent, &TaskSpecification::message, [](const QString &text) {
        if (!text.startsWith(QLatin1String("Downloading")))
            QTextStream(stderr) << text << Qt::endl;
    });
    // The engine's statistics poll, which also drives the stall detection.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&parent] {
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        parent.getDownloadStatus(done, total, speed, downloading);
    });
    poll.start(1000);

    QElapsedTimer clock;
    int result = 1;
    QObject::connect(&parent, &TaskSpecification::finished, [&] {
        result = 0;
        app.quit();
    });
    QObject::connect(&parent, &TaskSpecification::canceled, &app, &QCoreApplication::quit);
    clock.start();
    QTimer::singleShot(0, &parent, [&parent] { parent.execute(); });
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    qint64 bytes = 0;
    for (const QString &name : names)
        bytes += QFileInfo(out.filePath(QFileInfo(name).fileName())).size();
    QTextStream(stdout) << bytes << " bytes in " << seconds << " s, " << bytes / seconds / 1e6 << " MB/s" << Qt::endl;
    return result;
}
