// Declares SlowFileOpFunc, the worker base of single-file operations.
#pragma once

#include "asyncfunc.h"

#include <QString>

class SlowFileOpFunc : public ASyncFunc
{
    Q_OBJECT
public:
    SlowFileOpFunc(const QString &source, const QString &target);
    SlowFileOpFunc(const QString &source, const QString &auxiliary, const QString &target);

protected:
    QString m_Source;
    QString m_Auxiliary;
    QString m_Target;
};
