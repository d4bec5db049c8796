// Defines ASyncRun: runs the worker and posts its result before the pool deletes both.
#include "asyncrun.h"

#include "asyncfunc.h"

ASyncRun::ASyncRun(ASyncFunc *func) : m_Func(func)
{
    setAutoDelete(true);
}

ASyncRun::~ASyncRun()
{
    delete m_Func;
}

void ASyncRun::run()
{
    const bool r = m_Func->run();
    emit m_Func->runResult(r);
}
