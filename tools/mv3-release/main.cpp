// mv3-release, the publisher's command-line tool: keys, signatures and digests for releases.
#include "publisherkeys.h"

#include "checksigfunc.h"
#include "crypto.h"
#include "sha512.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>

using namespace publisherkeys;

namespace {

const char kUsage[] = "usage: mv3-release keygen [--out DIR]\n"
                      "         writes DIR/publisher.key (private, keep it secret) and DIR/publisher.pub\n"
                      "       mv3-release sign [--key PRIVATE_KEY] FILE...\n"
                      "         writes FILE.sig next to each FILE (key default: $MV3_RELEASE_KEY)\n"
                      "       mv3-release verify FILE...\n"
                      "         checks FILE.sig against the key compiled into this build\n"
                      "       mv3-release sha512 FILE...\n";

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

int fail(const QString &text)
{
    err() << "mv3-release: " << text << Qt::endl;
    return 1;
}

// Takes "--name value" out of args; false when the option lacks its value.
bool takeOption(QStringList &args, const QString &name, QString &value)
{
    const int i = args.indexOf(name);
    if (i < 0)
        return true;
    if (i + 1 >= args.size())
        return false;
    value = args.at(i + 1);
    args.erase(args.begin() + i, args.begin() + i + 2);
    return true;
}

int keygen(QStringList args)
{
    QString dir = QStringLiteral(".");
    if (!takeOption(args, QStringLiteral("--out"), dir) || !args.isEmpty())
        return fail(QString::fromLatin1(kUsage));
    const std::string priv = QDir(dir).filePath(QStringLiteral("publisher.key")).toStdString();
    const std::string pub = QDir(dir).filePath(QStringLiteral("publisher.pub")).toStdString();
    if (QFileInfo::exists(QString::fromStdString(priv)))
        return fail(QStringLiteral("%1 exists; refusing to replace a private key").arg(QString::fromStdString(priv)));
    Bytes privDer, pubDer;
    std::string error;
    if (!generate(privDer, pubDer, error) || !writeFile(priv, privDer, true, error) ||
        !writeFile(pub, pubDer, false, error))
        return fail(QString::fromStdString(error));
    QTextStream(stdout) << QString::fromStdString(priv) << "\n" << QString::fromStdString(pub) << "\n";
    return 0;
}

int signFiles(QStringList args)
{
    QString keyPath = qEnvironmentVariable("MV3_RELEASE_KEY");
    if (!takeOption(args, QStringLiteral("--key"), keyPath) || args.isEmpty())
        return fail(QString::fromLatin1(kUsage));
    if (keyPath.isEmpty())
        return fail(QStringLiteral("no key: pass --key or set MV3_RELEASE_KEY"));
    Bytes key;
    std::string error;
    if (!readFile(keyPath.toStdString(), key, error))
        return fail(QString::fromStdString(error));
    for (const QString &file : qAsConst(args)) {
        Bytes data, signature;
        if (!readFile(file.toStdString(), data, error) || !sign(key, data, signature, error) ||
            !writeFile((file + QStringLiteral(".sig")).toStdString(), signature, false, error))
            return fail(QStringLiteral("%1: %2").arg(file, QString::fromStdString(error)));
    }
    return 0;
}

int verifyFiles(const QStringList &args)
{
    if (args.isEmpty())
        return fail(QString::fromLatin1(kUsage));
    try {
        registerCrypto();
    } catch (const crypt_exception &e) {
        return fail(QString::fromLatin1(e.what()));
    }
    int result = 0;
    for (const QString &file : args) {
        CheckSigFunc check(file, QString());
        const bool valid = check.run();
        QTextStream(stdout) << file << ": " << (valid ? "valid" : "INVALID") << "\n";
        if (!valid)
            result = 1;
    }
    return result;
}

int sha512Files(const QStringList &args)
{
    if (args.isEmpty())
        return fail(QString::fromLatin1(kUsage));
    QTextStream out(stdout);
    for (const QString &file : args) {
        QString hex;
        if (Sha512::hashFile(file, hex) != Sha512::Ok)
            return fail(QStringLiteral("could not read file %1 correctly").arg(file));
        out << hex << "  " << file << "\n";
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("sha512"))
        return sha512Files(args);
    if (command == QLatin1String("verify"))
        return verifyFiles(args);
    std::string error;
    if (!init(error))
        return fail(QString::fromStdString(error));
    if (command == QLatin1String("keygen"))
        return keygen(args);
    if (command == QLatin1String("sign"))
        return signFiles(args);
    err() << kUsage;
    return 2;
}
