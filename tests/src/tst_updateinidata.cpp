// Tests UpdateIniData: which records are usable, and that writing keeps the file's other groups.
#include "updateinidata.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_UpdateIniData : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordValidity_data();
    void recordValidity();
    void modifyKeepsOtherGroups();
    void modifyFailsWhenFileCannotBeWritten();
    void modifyTempIniWritesClientType();
    void modifyTempIniNeedsRecord();

private:
    void writeIni(const QByteArray &content);

    QTemporaryDir m_dir;
};

void tst_UpdateIniData::init()
{
    cleanup();
}

void tst_UpdateIniData::cleanup()
{
    const QString path = UpdateIniData::updateIniPath();
    if (QFileInfo(path).isDir())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

void tst_UpdateIniData::writeIni(const QByteArray &content)
{
    QFile file(UpdateIniData::updateIniPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void tst_UpdateIniData::recordValidity_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("valid");
    const QByteArray dir = m_dir.path().toUtf8();
    QTest::newRow("complete") << "[current]\nversion=3\ndir=" + dir + "\nmv3dir=/opt/m\ntype=update_linux_amd64\n"
                              << true;
    QTest::newRow("no mv3dir is fine") << "[current]\nversion=3\ndir=" + dir + "\ntype=t\n" << true;
    QTest::newRow("dir gone") << QByteArray("[current]\nversion=3\ndir=/no/such/dir\ntype=t\n") << false;
    QTest::newRow("version not a number") << "[current]\nversion=three\ndir=" + dir + "\ntype=t\n" << false;
    QTest::newRow("version missing") << "[current]\ndir=" + dir + "\ntype=t\n" << false;
    QTest::newRow("type empty") << "[current]\nversion=3\ndir=" + dir + "\ntype=\n" << false;
    QTest::newRow("dir empty") << QByteArray("[current]\nversion=3\ndir=\ntype=t\n") << false;
    QTest::newRow("other group") << "[Channel]\nversion=3\ndir=" + dir + "\ntype=t\n" << false;
    QTest::newRow("no file") << QByteArray() << false;
}

void tst_UpdateIniData::recordValidity()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, valid);
    if (!ini.isEmpty())
        writeIni(ini);

    int version = -5;
    QString type = QStringLiteral("untouched"), dir = type, mv3dir = type;
    QCOMPARE(UpdateIniData::get(&version, &type, &dir, &mv3dir), valid);
    if (valid) {
        QCOMPARE(version, 3);
        QCOMPARE(dir, m_dir.path());
        QVERIFY(type == QLatin1String("t") || type == QLatin1String("update_linux_amd64"));
    } else {
        QCOMPARE(version, -5);
        QCOMPARE(type, QStringLiteral("untouched"));
        QCOMPARE(dir, QStringLiteral("untouched"));
        QCOMPARE(mv3dir, QStringLiteral("untouched"));
    }
    // Every output may be left out.
    QCOMPARE(UpdateIniData::get(nullptr, nullptr, nullptr, nullptr), valid);
}

void tst_UpdateIniData::modifyKeepsOtherGroups()
{
    writeIni("[Channel]\nbeta=true\n[update]\nproxy=http://p.example:3128\nstreams=2\n");
    QVERIFY(UpdateIniData::modify(17, m_dir.path(), QStringLiteral("/opt/mv3"), QStringLiteral("update_linux_amd64")));

    QSettings settings(UpdateIniData::updateIniPath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Channel/beta")).toBool(), true);
    QCOMPARE(settings.value(QStringLiteral("update/proxy")).toString(), QStringLiteral("http://p.example:3128"));
    QCOMPARE(settings.value(QStringLiteral("update/streams")).toInt(), 2);

    int version = 0;
    QString type, dir, mv3dir;
    QVERIFY(UpdateIniData::get(&version, &type, &dir, &mv3dir));
    QCOMPARE(version, 17);
    QCOMPARE(dir, m_dir.path());
    QCOMPARE(mv3dir, QStringLiteral("/opt/mv3"));
    QCOMPARE(type, QStringLiteral("update_linux_amd64"));
}

void tst_UpdateIniData::modifyFailsWhenFileCannotBeWritten()
{
    // A directory in the file's place: not writable whoever runs the test.
    QVERIFY(QDir().mkdir(UpdateIniData::updateIniPath()));
    QVERIFY(!UpdateIniData::modify(1, m_dir.path(), QString(), QStringLiteral("t")));
}

void tst_UpdateIniData::modifyTempIniWritesClientType()
{
    QVERIFY(UpdateIniData::modify(23, m_dir.path(), QStringLiteral("/opt/mv3"), QStringLiteral("update_linux_amd64")));
    QVERIFY(UpdateIniData::modifyTempIni(m_dir.path()));
    QSettings temp(m_dir.path() + QStringLiteral("/update.ini"), QSettings::IniFormat);
    QCOMPARE(temp.value(QStringLiteral("current/version")).toInt(), 23);
    QCOMPARE(temp.value(QStringLiteral("current/dir")).toString(), m_dir.path());
    QCOMPARE(temp.value(QStringLiteral("current/mv3dir")).toString(), QStringLiteral("/opt/mv3"));
    QCOMPARE(temp.value(QStringLiteral("current/type")).toString(), QStringLiteral("client_linux_amd64"));

    const QString blocked = m_dir.path() + QStringLiteral("/blocked");
    QVERIFY(QDir().mkpath(blocked + QStringLiteral("/update.ini")));
    QVERIFY(!UpdateIniData::modifyTempIni(blocked));
    QVERIFY(QFile::remove(m_dir.path() + QStringLiteral("/update.ini")));
}

void tst_UpdateIniData::modifyTempIniNeedsRecord()
{
    QVERIFY(!UpdateIniData::modifyTempIni(m_dir.path()));
    QVERIFY(!QFile::exists(m_dir.path() + QStringLiteral("/update.ini")));
}

QTEST_GUILESS_MAIN(tst_UpdateIniData)
#include "tst_updateinidata.moc"
