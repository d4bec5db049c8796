// Defines SlowFileOpFunc's constructors; run() belongs to the concrete operations.
#include "slowfileopfunc.h"

SlowFileOpFunc::SlowFileOpFunc(const QString &source, const QString &target) : m_Source(source), m_Target(target) {}

SlowFileOpFunc::SlowFileOpFunc(const QString &source, const QString &auxiliary, const QString &target)
    : m_Source(source), m_Auxiliary(auxiliary), m_Target(target)
{
}
