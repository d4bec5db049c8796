// Declares Sha512, the one SHA-512 file digest used by every check and by plan compilation.
#pragma once

#include <QByteArray>
#include <QString>

class Sha512
{
public:
    enum Status { Ok, OpenFailed, ReadFailed };

    // Streams the file through the hash in fixed-size chunks; hexDigest gets 128 lower-case
    // characters on Ok and is left alone otherwise. Only regular files can be opened.
    static Status hashFile(const QString &path, QString &hexDigest);
    static QString hashHex(const QByteArray &data);

    // Bytes read per step: large enough to amortise system calls, small enough for many
    // parallel checks.
    static const int kChunkSize = 1 << 20;
};
