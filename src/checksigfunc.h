// Declares CheckSigFunc, the worker that checks a file's SHA-512 digest or its RSA signature.
#pragma once

#include "asyncfunc.h"

#include <QByteArray>
#include <QString>

class CheckSigFunc : public ASyncFunc
{
    Q_OBJECT
public:
    // An empty sha512 selects the RSA check against path + ".sig".
    CheckSigFunc(const QString &filePath, const QString &sha512);

    // May also be called directly on any thread; it touches no task state.
    bool run() override;

    bool checkRSA();
    bool checkSHA512();
    bool readFileContents(const QString &path, QByteArray &data);

    // Signed files are small (product ini, its signature); anything larger is refused unread.
    static const qint64 kMaxSignedFileSize = 64 * 1024 * 1024;

private:
    QString m_FilePath;
    QString m_Sha512;
};
