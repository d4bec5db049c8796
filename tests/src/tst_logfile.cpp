// Tests LogFile and the message handler: the marker file, the file name, the line format, concurrent writers.
#include "logfile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

class tst_LogFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void noMarkerNoLog();
    void linesFromManyThreadsStayWhole();

private:
    QString logDir() const { return m_dir->path() + QStringLiteral("/morvane_update_log"); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QtMessageHandler m_previous = nullptr;
};

void tst_LogFile::init()
{
    // Inside the system temporary path, not the previous test's TMPDIR.
    m_dir.reset(new QTemporaryDir(QStringLiteral("/tmp/tst_logfile-XXXXXX")));
    QVERIFY(m_dir->isValid());
    qputenv("TMPDIR", m_dir->path().toUtf8());
}

void tst_LogFile::cleanup()
{
    qInstallMessageHandler(nullptr);
}

void tst_LogFile::noMarkerNoLog()
{
    LogFile log;
    qInstallMessageHandler(messageHandler);
    qDebug() << "nobody reads this";
    qInstallMessageHandler(nullptr);
    QVERIFY(!updateLogEnabled);
    QVERIFY(!QFileInfo::exists(logDir()));
}

void tst_LogFile::linesFromManyThreadsStayWhole()
{
    QFile marker(m_dir->path() + QStringLiteral("/mv3_update_log"));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();

    {
        LogFile log;
        QVERIFY(updateLogEnabled);
        qInstallMessageHandler(messageHandler);
        // Long lines from several pool threads at once: any unserialised write would tear them.
        const QString payload(300, QLatin1Char('x'));
        QThreadPool pool;
        pool.setMaxThreadCount(8);
        for (int t = 0; t < 8; ++t) {
            pool.start([t, payload]() {
                for (int i = 0; i < 500; ++i)
                    qDebug().noquote() << "worker" << t << i << payload;
            });
        }
        qWarning().noquote() << "from the main thread";
        pool.waitForDone();
        qInstallMessageHandler(nullptr);
    }

    const QStringList files = QDir(logDir()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^update__\\d{4}-\\d\\d-\\d\\d__\\d\\d_\\d\\d_\\d\\d\\.log$"))
                 .match(files.first())
                 .hasMatch(),
             qPrintable(files.first()));
    QFile file(logDir() + QLatin1Char('/') + files.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 8 * 500 + 1);
    const QRegularExpression format(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3}\\t\\|\\t(Debug\\t\\|\\tworker \\d \\d+ "
                       "x{300}|Warning\\t\\|\\tfrom "
                       "the main thread)$"));
    QSet<QString> seen;
    for (const QString &line : lines) {
        QVERIFY2(format.match(line).hasMatch(), qPrintable(line));
        seen.insert(line.section(QLatin1Char('\t'), 4));
    }
    QCOMPARE(seen.size(), lines.size());
}

QTEST_GUILESS_MAIN(tst_LogFile)
#include "tst_logfile.moc"
