// Declares small file helpers shared by the application tests.
#pragma once

#include <QByteArray>
#include <QString>

// Deterministic, non-repeating-looking bytes; different seeds give different contents.
QByteArray testPattern(int size, int seed = 0);
// The whole file, or "<missing>" when it cannot be opened (never equal to real content here).
QByteArray readTestFile(const QString &path);
bool writeTestFile(const QString &path, const QByteArray &bytes);
