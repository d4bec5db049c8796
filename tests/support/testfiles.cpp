// Defines the shared test file helpers.
#include "testfiles.h"

#include <QFile>

QByteArray testPattern(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((quint32(i) * 2654435761u + quint32(seed) * 40503u) >> 13);
    return b;
}

QByteArray readTestFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
