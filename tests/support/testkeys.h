// Declares TestKeys, access to the build's test signing key through the publisher tool.
#pragma once

#include <QString>

class TestKeys
{
public:
    // False when the build compiled in the publisher's key and has no private half.
    static bool canSign();
    static QString releaseTool();
    static QString privateKey();
    // Runs "mv3-release sign --key <key> file", writing file + ".sig"; output gets the tool's stderr.
    static bool sign(const QString &file, QString *output = nullptr);
};
