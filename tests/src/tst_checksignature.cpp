// Tests the SHA-512 and RSA-PSS checks with the build's real key and the publisher tool's signatures.
#include "checksigfunc.h"
#include "checksignaturetaskspecification.h"
#include "composedtaskspecification.h"
#include "crypto.h"
#include "sha512.h"
#include "spytexts.h"
#include "testfiles.h"
#include "testkeys.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString referenceSha512(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha512).toHex());
}

struct Outcome {
    TaskSpecification::TaskState state;
    QList<bool> verdicts;
    QStringList messages;
};

Outcome runCheck(const QString &file, const QString &sha512, bool failOnError, qreal weight = 0.2)
{
    CheckSignatureTaskSpecification task(file, sha512, failOnError, nullptr, weight);
    QSignalSpy done(&task, &CheckSignatureTaskSpecification::checkDone);
    QSignalSpy messages(&task, &TaskSpecification::message);
    QSignalSpy ended(&task, &TaskSpecification::finished);
    QSignalSpy failed(&task, &TaskSpecification::canceled);
    task.execute();
    // No QTRY_ here: this helper returns a value. A task that never ends stays Running and
    // fails the caller's state comparison.
    for (int waited = 0; ended.count() + failed.count() == 0 && waited < 10000; waited += 10)
        QTest::qWait(10);
    Outcome out{task.state, {}, spyTexts(messages)};
    for (const QList<QVariant> &args : done) {
        out.verdicts << args.at(0).toBool();
        if (args.at(1).value<CheckSignatureTaskSpecification *>() != &task)
            out.verdicts << false; // wrong task reported; makes the comparison fail
    }
    if (task.state == TaskSpecification::Finished && task.doneFrac != weight)
        out.messages << QStringLiteral("doneFrac %1").arg(task.doneFrac);
    return out;
}

class Composed : public ComposedTaskSpecification
{
public:
    Composed() : ComposedTaskSpecification(4, nullptr, 1.0) {}
    void execute() override { startSubtasks(); }
};

} // namespace

class TestCheckSignature : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void sha512KnownAnswers();
    void sha512StreamsLargeFiles();
    void sha512Check_data();
    void sha512Check();
    void rsaCheck_data();
    void rsaCheck();
    void mismatchWithoutFailOnErrorStillFinishes();
    void parallelChecksKeepTheirVerdicts();
    void directCallTouchesNoTask();
    void cryptoWrapperTurnsLibraryErrorsIntoExceptions();

private:
    QTemporaryDir m_dir;
};

void TestCheckSignature::initTestCase()
{
    qRegisterMetaType<CheckSignatureTaskSpecification *>();
    registerCrypto();
    registerCrypto(); // once per engine initialisation, so it must be repeatable
}

void TestCheckSignature::sha512KnownAnswers()
{
    QCOMPARE(Sha512::hashHex(QByteArray()),
             QStringLiteral("cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
                            "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"));
    QCOMPARE(Sha512::hashHex("abc"),
             QStringLiteral("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
}

void TestCheckSignature::sha512StreamsLargeFiles()
{
    // Sizes around the chunk size catch off-by-one errors at chunk borders.
    for (int size :
         {Sha512::kChunkSize - 1, Sha512::kChunkSize, Sha512::kChunkSize + 1, 3 * Sha512::kChunkSize + 12345}) {
        const QByteArray data = testPattern(size, size);
        const QString path = m_dir.filePath(QStringLiteral("big%1").arg(size));
        QVERIFY(writeTestFile(path, data));
        QString hex;
        QCOMPARE(Sha512::hashFile(path, hex), Sha512::Ok);
        QCOMPARE(hex, referenceSha512(data));
    }
}

void TestCheckSignature::sha512Check_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("fileKind"); // 0 regular, 1 missing, 2 directory
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("workerText"); // %1 = path

    const QByteArray data = testPattern(100000, 1);
    const QString digest = referenceSha512(data);
    QString tamperedDigest = digest;
    tamperedDigest[5] = tamperedDigest[5] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
    QByteArray tampered = data;
    tampered[77777] = char(tampered[77777] ^ 0x04);

    QTest::newRow("matching") << data << digest << 0 << true << QString();
    QTest::newRow("upper-case expected digest") << data << digest.toUpper() << 0 << true << QString();
    QTest::newRow("empty file") << QByteArray() << referenceSha512(QByteArray()) << 0 << true << QString();
    QTest::newRow("tampered file") << tampered << digest << 0 << false << QString();
    QTest::newRow("wrong digest") << data << tamperedDigest << 0 << false << QString();
    QTest::newRow("truncated digest") << data << digest.left(127) << 0 << false << QString();
    QTest::newRow("missing file") << QByteArray() << digest << 1 << false
                                  << QStringLiteral("Could not open file %1 for reading");
    QTest::newRow("unreadable file") << QByteArray() << digest << 2 << false
                                     << QStringLiteral("Could not open file %1 for reading");
}

void TestCheckSignature::sha512Check()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(int, fileKind);
    QFETCH(bool, pass);
    QFETCH(QString, workerText);

    const QString path = m_dir.filePath(QStringLiteral("sha-%1").arg(QTest::currentDataTag()));
    if (fileKind == 0)
        QVERIFY(writeTestFile(path, content));
    else if (fileKind == 2)
        QVERIFY(QDir().mkpath(path));

    const Outcome out = runCheck(path, expected, true);
    QCOMPARE(out.verdicts, QList<bool>{pass});
    QCOMPARE(out.state, pass ? TaskSpecification::Finished : TaskSpecification::Failed);
    QStringList messages;
    if (!workerText.isEmpty())
        messages << workerText.arg(path);
    if (!pass)
        messages << QStringLiteral("Signature check failed for %1").arg(path);
    QCOMPARE(out.messages, messages);
}

void TestCheckSignature::rsaCheck_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("sigChange"); // see below
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("workerText"); // %1 = path

    enum { Keep, FlipFileBit, FlipSigBit, Truncate127, Extend129, NoSig, EmptySig, OtherFilesSig, FileIsDir };
    const QByteArray ini = "[general]\nversion=42\n" + testPattern(20000, 7).toHex();
    QTest::newRow("signed by the publisher tool") << ini << int(Keep) << true << QString();
    QTest::newRow("empty file, signed") << QByteArray() << int(Keep) << true << QString();
    QTest::newRow("flipped bit in file") << ini << int(FlipFileBit) << false << QString();
    QTest::newRow("flipped bit in signature") << ini << int(FlipSigBit) << false << QString();
    QTest::newRow("signature of 127 bytes") << ini << int(Truncate127) << false << QString();
    QTest::newRow("signature of 129 bytes") << ini << int(Extend129) << false << QString();
    QTest::newRow("empty signature") << ini << int(EmptySig) << false << QString();
    QTest::newRow("another file's signature") << ini << int(OtherFilesSig) << false << QString();
    QTest::newRow("missing signature") << ini << int(NoSig) << false
                                       << QStringLiteral("Could not open file %1.sig for reading");
    QTest::newRow("unreadable file") << ini << int(FileIsDir) << false
                                     << QStringLiteral("Could not open file %1 for reading");
}

void TestCheckSignature::rsaCheck()
{
    QFETCH(QByteArray, content);
    QFETCH(int, sigChange);
    QFETCH(bool, pass);
    QFETCH(QString, workerText);
    if (!TestKeys::canSign())
        QSKIP("this build compiles in the publisher's key; no private key to sign with");

    const QString path = m_dir.filePath(QStringLiteral("rsa-%1.ini").arg(QTest::currentDataTag()));
    const QString sig = path + QStringLiteral(".sig");
    QVERIFY(writeTestFile(path, content));
    QString toolOutput;
    QVERIFY2(TestKeys::sign(path, &toolOutput), qPrintable(toolOutput));
    QByteArray signature = readTestFile(sig);
    QCOMPARE(signature.size(), 128);

    switch (sigChange) {
    case 1: { // flip one bit of the file
        QByteArray changed = content;
        changed[100] = char(changed[100] ^ 0x01);
        QVERIFY(writeTestFile(path, changed));
        break;
    }
    case 2:
        signature[60] = char(signature[60] ^ 0x80);
        QVERIFY(writeTestFile(sig, signature));
        break;
    case 3: QVERIFY(writeTestFile(sig, signature.left(127))); break;
    case 4: QVERIFY(writeTestFile(sig, signature + '\0')); break;
    case 5: QVERIFY(QFile::remove(sig)); break;
    case 6: QVERIFY(writeTestFile(sig, QByteArray())); break;
    case 7: {
        const QString other = m_dir.filePath(QStringLiteral("other.ini"));
        QVERIFY(writeTestFile(other, content + "x"));
        QVERIFY(TestKeys::sign(other));
        QVERIFY(writeTestFile(sig, readTestFile(other + QStringLiteral(".sig"))));
        break;
    }
    case 8:
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        break;
    default: break;
    }

    const Outcome out = runCheck(path, QString(), true);
    QCOMPARE(out.verdicts, QList<bool>{pass});
    QCOMPARE(out.state, pass ? TaskSpecification::Finished : TaskSpecification::Failed);
    QStringList messages;
    if (!workerText.isEmpty())
        messages << workerText.arg(path);
    if (!pass)
        messages << QStringLiteral("Signature check failed for %1").arg(path);
    QCOMPARE(out.messages, messages);
}

void TestCheckSignature::mismatchWithoutFailOnErrorStillFinishes()
{
    const QString path = m_dir.filePath(QStringLiteral("payload.bin"));
    QVERIFY(writeTestFile(path, "payload"));
    const Outcome sha = runCheck(path, referenceSha512("other"), false, 0.2);
    QCOMPARE(sha.state, TaskSpecification::Finished);
    QCOMPARE(sha.verdicts, QList<bool>{false});
    QCOMPARE(sha.messages, QStringList{QStringLiteral("Signature check failed for %1").arg(path)});

    const Outcome rsa = runCheck(path, QString(), false, 0.2); // no .sig at all
    QCOMPARE(rsa.state, TaskSpecification::Finished);
    QCOMPARE(rsa.verdicts, QList<bool>{false});
}

void TestCheckSignature::parallelChecksKeepTheirVerdicts()
{
    Composed parent;
    QHash<CheckSignatureTaskSpecification *, bool> expected;
    QHash<CheckSignatureTaskSpecification *, bool> got;
    for (int i = 0; i < 12; ++i) {
        const QByteArray data = testPattern(200000 + i, i);
        const QString path = m_dir.filePath(QStringLiteral("par%1").arg(i));
        QVERIFY(writeTestFile(path, data));
        const bool good = i % 3 != 0;
        QString digest = good ? referenceSha512(data) : referenceSha512(data + "!");
        bool rsa = TestKeys::canSign() && i % 4 == 1;
        if (rsa) {
            QVERIFY(TestKeys::sign(path));
            if (!good)
                QVERIFY(writeTestFile(path, data + "!"));
            digest.clear();
        }
        auto *task = new CheckSignatureTaskSpecification(path, digest, false, &parent, 1.0 / 12);
        connect(task, &CheckSignatureTaskSpecification::checkDone, this,
                [&got](bool pass, CheckSignatureTaskSpecification *t) { got.insert(t, pass); });
        parent.addSubTask(task);
        expected.insert(task, good);
    }
    QSignalSpy finished(&parent, &TaskSpecification::finished);
    parent.execute();
    QVERIFY(finished.wait(20000));
    QCOMPARE(got, expected);
    QCOMPARE(parent.doneFrac, 1.0);
}

void TestCheckSignature::directCallTouchesNoTask()
{
    const QString path = m_dir.filePath(QStringLiteral("direct"));
    QVERIFY(writeTestFile(path, "content"));
    CheckSigFunc good(path, referenceSha512("content").toUpper());
    QVERIFY(good.run());
    CheckSigFunc bad(path, referenceSha512("contents"));
    QVERIFY(!bad.run());
}

void TestCheckSignature::cryptoWrapperTurnsLibraryErrorsIntoExceptions()
{
    rsa_key key;
    const unsigned char garbage[16] = {0x30, 0x0e, 0x02, 0x01};
    try {
        importRsaKey(key, garbage, sizeof garbage);
        rsa_free(&key);
        QFAIL("garbage imported as a key");
    } catch (const crypt_exception &e) {
        QVERIFY2(QByteArray(e.what()).startsWith("rsa_import: "), e.what());
    }

    importRsaKey(key, verificationKeyBlock, sizeof verificationKeyBlock);
    // Null pointers with length 0 must reach the library's length checks, not its abort().
    try {
        verifyRsaSignature(key, nullptr, 0, nullptr, 0);
        rsa_free(&key);
        QFAIL("empty signature accepted");
    } catch (const crypt_exception &e) {
        rsa_free(&key);
        QVERIFY2(QByteArray(e.what()).startsWith("rsa_verify_hash: "), e.what());
    }
}

QTEST_GUILESS_MAIN(TestCheckSignature)
#include "tst_checksignature.moc"
