// Tests the undo journal: order, warnings and their targets.
#include "rollback.h"
#include "spytexts.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class Reporter : public QObject
{
    Q_OBJECT
signals:
    void message(QString message);
};

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestRollback : public QObject
{
    Q_OBJECT
private slots:
    void emptyJournalSucceedsSilently();
    void undoesNewestFirst();
    void unremovableFileKeepsItsDirectory();
    void directoryWithStrangerFilesStays();
    void renameWarningNamesForwardDirection();
    void nullTargetStillUndoes();
    void targetWithoutMessageMemberLogs();
};

void TestRollback::emptyJournalSucceedsSilently()
{
    Reporter r;
    QSignalSpy spy(&r, &Reporter::message);
    RollbackDataList journal;
    QVERIFY(journal.rollbackAll(&r));
    QCOMPARE(spy.count(), 0);
}

void TestRollback::undoesNewestFirst()
{
    QTemporaryDir tmp;
    const QString d = tmp.filePath(QStringLiteral("D"));
    const QString orig = tmp.filePath(QStringLiteral("orig"));
    QVERIFY(QDir().mkdir(d));
    touch(d + QStringLiteral("/f"));
    touch(orig);
    QVERIFY(QFile::rename(orig, d + QStringLiteral("/moved")));

    RollbackDataList journal;
    journal.append(RollbackData(RollbackData::DIR_CREATE, d));
    journal.append(RollbackData(RollbackData::FILE_CREATE, d + QStringLiteral("/f")));
    journal.append(RollbackData(RollbackData::FILE_RENAME, orig, d + QStringLiteral("/moved")));
    Reporter r;
    QSignalSpy spy(&r, &Reporter::message);
    QVERIFY(journal.rollbackAll(&r));
    QCOMPARE(spy.count(), 0);
    QVERIFY(journal.isEmpty());
    QVERIFY(QFile::exists(orig));
    QVERIFY(!QFileInfo::exists(d));
}

void TestRollback::unremovableFileKeepsItsDirectory()
{
    QTemporaryDir tmp;
    const QString d = tmp.filePath(QStringLiteral("D"));
    const QString f = d + QStringLiteral("/f");
    // A directory where the file was journalled: QFile::remove fails and D stays non-empty.
    QVERIFY(QDir().mkpath(f + QStringLiteral("/inner")));

    RollbackDataList journal;
    journal.append(RollbackData(RollbackData::DIR_CREATE, d));
    journal.append(RollbackData(RollbackData::FILE_CREATE, f));
    Reporter r;
    QSignalSpy spy(&r, &Reporter::message);
    QVERIFY(!journal.rollbackAll(&r));
    QVERIFY(journal.isEmpty());
    QCOMPARE(spyTexts(spy), (QStringList{QStringLiteral("warning: rollback create file %1 failed").arg(f),
                                         QStringLiteral("warning: rollback create dir %1 failed").arg(d)}));
}

void TestRollback::directoryWithStrangerFilesStays()
{
    QTemporaryDir tmp;
    const QString d = tmp.filePath(QStringLiteral("plugins"));
    QVERIFY(QDir().mkdir(d));
    touch(d + QStringLiteral("/user-file"));
    RollbackDataList journal;
    journal.append(RollbackData(RollbackData::DIR_CREATE, d + QLatin1Char('/')));
    Reporter r;
    QSignalSpy spy(&r, &Reporter::message);
    QVERIFY(!journal.rollbackAll(&r));
    QCOMPARE(spyTexts(spy), QStringList{QStringLiteral("warning: rollback create dir %1/ failed").arg(d)});
    QVERIFY(QFile::exists(d + QStringLiteral("/user-file")));
}

void TestRollback::renameWarningNamesForwardDirection()
{
    QTemporaryDir tmp;
    const QString a = tmp.filePath(QStringLiteral("a"));
    const QString b = tmp.filePath(QStringLiteral("b"));
    touch(a); // the way back is blocked
    RollbackData entry(RollbackData::FILE_RENAME, a, b);
    Reporter r;
    QSignalSpy spy(&r, &Reporter::message);
    QVERIFY(!entry.rollback(&r));
    QCOMPARE(spyTexts(spy), QStringList{QStringLiteral("warning: rollback rename %1 to %2 failed").arg(a, b)});
}

void TestRollback::nullTargetStillUndoes()
{
    QTemporaryDir tmp;
    const QString f = tmp.filePath(QStringLiteral("f"));
    touch(f);
    RollbackDataList journal;
    journal.append(RollbackData(RollbackData::FILE_CREATE, f));
    journal.append(RollbackData(RollbackData::FILE_CREATE, tmp.filePath(QStringLiteral("never-made"))));
    QVERIFY(!journal.rollbackAll(nullptr));
    QVERIFY(!QFile::exists(f));
}

void TestRollback::targetWithoutMessageMemberLogs()
{
    QTemporaryDir tmp;
    QObject plain;
    RollbackDataList journal;
    journal.append(RollbackData(RollbackData::FILE_CREATE, tmp.filePath(QStringLiteral("x"))));
    journal.append(RollbackData(RollbackData::FILE_CREATE, tmp.filePath(QStringLiteral("y"))));
    for (int i = 0; i < 2; ++i) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("No such method")));
        QTest::ignoreMessage(QtDebugMsg, "Warning: message signal was not found in RollbackData::message");
    }
    QVERIFY(!journal.rollbackAll(&plain));
}

QTEST_GUILESS_MAIN(TestRollback)
#include "tst_rollback.moc"
