// Tests the publisher tool as a child process: key generation, signing, verification, digests.
#include "crypto.h"
#include "sha512.h"
#include "testfiles.h"
#include "testkeys.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run runTool(const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.start(TestKeys::releaseTool(), args);
    Run r;
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = tool.exitCode();
    r.out = tool.readAllStandardOutput();
    r.err = tool.readAllStandardError();
    return r;
}

// Verifies with the wrapper the updater uses, padding the key to the compiled block's size.
bool verifyWith(const QByteArray &publicDer, const QByteArray &data, const QByteArray &signature)
{
    QByteArray block = publicDer;
    block.append(QByteArray(2048 - block.size(), '\0'));
    rsa_key key;
    importRsaKey(key, reinterpret_cast<const unsigned char *>(block.constData()), block.size());
    bool valid = false;
    try {
        valid = verifyRsaSignature(key, reinterpret_cast<const unsigned char *>(data.constData()), data.size(),
                                   reinterpret_cast<const unsigned char *>(signature.constData()), signature.size());
    } catch (const crypt_exception &) {
        valid = false;
    }
    rsa_free(&key);
    return valid;
}

} // namespace

class TestReleaseTool : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void keygenWritesPairAndNeverReplacesAPrivateKey();
    void signatureVerifiesWithGeneratedKeyAndNotAfterABitFlip();
    void signWithoutKeyFails();
    void verifyUsesTheCompiledKey();
    void sha512MatchesTheUpdater();

private:
    QTemporaryDir m_dir;
};

void TestReleaseTool::initTestCase()
{
    QVERIFY(QFileInfo::exists(TestKeys::releaseTool()));
    registerCrypto();
}

void TestReleaseTool::keygenWritesPairAndNeverReplacesAPrivateKey()
{
    const QString dir = m_dir.filePath(QStringLiteral("keys"));
    QVERIFY(QDir().mkpath(dir));
    const Run first = runTool({QStringLiteral("keygen"), QStringLiteral("--out"), dir});
    QCOMPARE(first.exitCode, 0);
    const QString priv = dir + QStringLiteral("/publisher.key");
    const QByteArray pub = readTestFile(dir + QStringLiteral("/publisher.pub"));
    QCOMPARE(pub.size(), 140); // RSAPublicKey: 129-byte modulus, 3-byte exponent
    QVERIFY(pub.startsWith(QByteArray::fromHex("30818902818100")));
    QVERIFY(pub.endsWith(QByteArray::fromHex("0203010001")));
    QCOMPARE(QFileInfo(priv).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    const QByteArray privBytes = readTestFile(priv);

    const Run second = runTool({QStringLiteral("keygen"), QStringLiteral("--out"), dir});
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.err.contains("refusing"), second.err.constData());
    QCOMPARE(readTestFile(priv), privBytes);
}

void TestReleaseTool::signatureVerifiesWithGeneratedKeyAndNotAfterABitFlip()
{
    const QString dir = m_dir.filePath(QStringLiteral("sign"));
    QVERIFY(QDir().mkpath(dir));
    QCOMPARE(runTool({QStringLiteral("keygen"), QStringLiteral("--out"), dir}).exitCode, 0);
    const QByteArray pub = readTestFile(dir + QStringLiteral("/publisher.pub"));
    const QString file = dir + QStringLiteral("/update_linux_amd64.ini");
    const QByteArray data = testPattern(5000, 9);
    QVERIFY(writeTestFile(file, data));

    // The key may also come from the environment.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MV3_RELEASE_KEY"), dir + QStringLiteral("/publisher.key"));
    QCOMPARE(runTool({QStringLiteral("sign"), file}, env).exitCode, 0);
    const QByteArray sig = readTestFile(file + QStringLiteral(".sig"));
    QCOMPARE(sig.size(), 128);
    QVERIFY(verifyWith(pub, data, sig));

    for (int bit : {0, 7, 39999}) {
        QByteArray flipped = data;
        flipped[bit / 8] = char(flipped[bit / 8] ^ (1 << (bit % 8)));
        QVERIFY2(!verifyWith(pub, flipped, sig), qPrintable(QString::number(bit)));
    }
    QByteArray badSig = sig;
    badSig[127] = char(badSig[127] ^ 1);
    QVERIFY(!verifyWith(pub, data, badSig));
}

void TestReleaseTool::signWithoutKeyFails()
{
    const QString file = m_dir.filePath(QStringLiteral("nokey"));
    QVERIFY(writeTestFile(file, "x"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("MV3_RELEASE_KEY"));
    const Run r = runTool({QStringLiteral("sign"), file}, env);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(file + QStringLiteral(".sig")));
    const Run missing =
        runTool({QStringLiteral("sign"), QStringLiteral("--key"), m_dir.filePath(QStringLiteral("none")), file});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY(!QFile::exists(file + QStringLiteral(".sig")));
}

void TestReleaseTool::verifyUsesTheCompiledKey()
{
    if (!TestKeys::canSign())
        QSKIP("this build compiles in the publisher's key; no private key to sign with");
    const QString file = m_dir.filePath(QStringLiteral("product.ini"));
    QVERIFY(writeTestFile(file, "[files]\n"));
    QVERIFY(TestKeys::sign(file));
    QCOMPARE(runTool({QStringLiteral("verify"), file}).exitCode, 0);
    QVERIFY(writeTestFile(file, "[files]\r\n"));
    const Run bad = runTool({QStringLiteral("verify"), file});
    QCOMPARE(bad.exitCode, 1);
    QVERIFY(bad.out.contains("INVALID"));
}

void TestReleaseTool::sha512MatchesTheUpdater()
{
    const QString file = m_dir.filePath(QStringLiteral("payload"));
    QVERIFY(writeTestFile(file, testPattern(3 * Sha512::kChunkSize + 5, 2)));
    QString hex;
    QCOMPARE(Sha512::hashFile(file, hex), Sha512::Ok);
    const Run r = runTool({QStringLiteral("sha512"), file});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QString::fromLatin1(r.out), hex + QStringLiteral("  ") + file + QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(TestReleaseTool)
#include "tst_releasetool.moc"
