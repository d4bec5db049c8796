// Defines spyTexts for tests that compare emitted message and error texts.
#include "spytexts.h"

#include <QSignalSpy>

QStringList spyTexts(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy)
        out << args.value(0).toString();
    return out;
}
