// Tests the version query: Versions decoding and the answer UpdateChecker delivers for real server replies.
#include "testhttpserver.h"
#include "updatechecker.h"
#include "updateserverclient.h"
#include "UpdateMessage.pb.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

using com::morvane::update::Versions;

QByteArray serialized(const Versions &versions)
{
    const std::string bytes = versions.SerializePartialAsString();
    return QByteArray(bytes.data(), int(bytes.size()));
}

void addChannel(Versions &versions, const char *name, int number, const char *text)
{
    auto *channel = versions.add_channels();
    channel->set_name(name);
    channel->set_version_number(number);
    if (text)
        channel->set_version_string(text);
}

QByteArray twoChannels()
{
    Versions versions;
    versions.set_licenseagreementid(3);
    addChannel(versions, "stable", 41, "4.1");
    addChannel(versions, "beta", 42, "4.2 beta");
    return serialized(versions);
}

} // namespace

class tst_UpdateChecker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parseVersionsResults_data();
    void parseVersionsResults();
    void queryAnswers_data();
    void queryAnswers();

private:
    TestHttpServer m_server;
};

void tst_UpdateChecker::initTestCase()
{
    qRegisterMetaType<UpdateVersions>("UpdateVersions");
    QVERIFY(m_server.start(18380));
    QCOMPARE(QString::fromStdString(versionServerUrl()), QStringLiteral("http://127.0.0.1:18380/mv3-client-2"));
}

void tst_UpdateChecker::parseVersionsResults_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("two channels") << twoChannels() << 0 << QStringList{"stable", "beta"}
                                  << QStringList{"beta=42/4.2 beta", "stable=41/4.1"};
    QTest::newRow("empty body") << QByteArray() << 2 << QStringList() << QStringList();
    {
        Versions versions;
        versions.set_licenseagreementid(1);
        QTest::newRow("no channels") << serialized(versions) << 0 << QStringList() << QStringList();
    }
    {
        Versions versions;
        versions.set_licenseagreementid(1);
        addChannel(versions, "stable", 41, "4.1");
        addChannel(versions, "beta", 42, nullptr);
        QTest::newRow("one channel without its string") << serialized(versions) << 2 << QStringList() << QStringList();
    }
    {
        Versions versions;
        addChannel(versions, "stable", 41, "4.1");
        QTest::newRow("licenseAgreementId missing") << serialized(versions) << 2 << QStringList() << QStringList();
    }
    {
        Versions versions;
        versions.set_licenseagreementid(1);
        addChannel(versions, "beta", 42, "first");
        addChannel(versions, "beta", 43, "second");
        QTest::newRow("repeated name, first wins")
            << serialized(versions) << 0 << QStringList{"beta", "beta"} << QStringList{"beta=42/first"};
    }
    // Field 9 (varint 5) as a newer server might add: skipped.
    QTest::newRow("unknown field") << twoChannels() + QByteArray("\x48\x05", 2) << 0 << QStringList{"stable", "beta"}
                                   << QStringList{"beta=42/4.2 beta", "stable=41/4.1"};
    QTest::newRow("truncated") << twoChannels().left(12) << 2 << QStringList() << QStringList();
    // A channel whose length runs past the end of the body.
    QTest::newRow("length past end") << QByteArray("\x08\x01\x12\x7f\x0a\x01s", 7) << 2 << QStringList()
                                     << QStringList();
}

void tst_UpdateChecker::parseVersionsResults()
{
    QFETCH(QByteArray, body);
    QFETCH(int, result);
    QFETCH(QStringList, names);
    QFETCH(QStringList, entries);

    VersionQueryResult parsed;
    QCOMPARE(parseVersions(body.constData(), std::size_t(body.size()), parsed), result);
    QStringList gotNames;
    for (const std::string &name : parsed.channelNames)
        gotNames << QString::fromStdString(name);
    QStringList gotEntries;
    for (const auto &entry : parsed.channelVersions)
        gotEntries << QStringLiteral("%1=%2/%3")
                          .arg(QString::fromStdString(entry.first))
                          .arg(entry.second.first)
                          .arg(QString::fromStdString(entry.second.second));
    QCOMPARE(gotNames, names);
    QCOMPARE(gotEntries, entries);

    VersionQueryResult unused;
    QCOMPARE(parseVersions(nullptr, 0, unused), 1);
}

void tst_UpdateChecker::queryAnswers_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two channels") << twoChannels() << 0 << QStringList{"beta=42/4.2 beta", "stable=41/4.1"};
    {
        Versions versions;
        versions.set_licenseagreementid(1);
        addChannel(versions, "stable", -1, "minus one");
        QTest::newRow("minus one as unsigned")
            << serialized(versions) << 0 << QStringList{"stable=4294967295/minus one"};
    }
    {
        Versions versions;
        versions.set_licenseagreementid(1);
        addChannel(versions, "beta", 42, "first");
        addChannel(versions, "beta", 43, "second");
        QTest::newRow("repeated beta") << serialized(versions) << 0 << QStringList{"beta=42/first"};
    }
    QTest::newRow("404") << twoChannels() << 404 << QStringList();
    QTest::newRow("500") << twoChannels() << 500 << QStringList();
    QTest::newRow("malformed") << QByteArray("<html>") << 0 << QStringList();
    // A server that sends far more than any Versions message is cut off.
    QTest::newRow("oversized") << twoChannels() + QByteArray(3 << 20, '\0') << 0 << QStringList();
}

void tst_UpdateChecker::queryAnswers()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QStringList, expected);

    const QString path = QStringLiteral("/mv3-client-2");
    m_server.clearFaults();
    m_server.setBody(path, body);
    if (status) {
        TestHttpServer::Fault fault;
        fault.status = status;
        m_server.setFault(path, fault);
    }

    UpdateChecker *checker = new UpdateChecker(nullptr);
    QSignalSpy answer(checker, &UpdateChecker::update_available);
    QSignalSpy gone(checker, &QObject::destroyed);
    checker->start();
    QVERIFY(answer.wait(10000));
    QCOMPARE(answer.count(), 1);
    const UpdateVersions versions = answer.at(0).at(0).value<UpdateVersions>();
    QStringList got;
    for (auto it = versions.cbegin(); it != versions.cend(); ++it)
        got << it.key() + QLatin1Char('=') + it.value().first + QLatin1Char('/') + it.value().second;
    got.sort();
    QCOMPARE(got, expected);
    // The checker releases itself after answering.
    QVERIFY(gone.wait(5000));
}

QTEST_GUILESS_MAIN(tst_UpdateChecker)
#include "tst_updatechecker.moc"
