// Declares spyTexts, the first (text) argument of every signal a QSignalSpy caught.
#pragma once

#include <QStringList>

class QSignalSpy;

QStringList spyTexts(const QSignalSpy &spy);
