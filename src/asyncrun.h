// Declares ASyncRun, the runnable that hands one ASyncFunc to Qt's thread pool.
#pragma once

#include <QRunnable>

class ASyncFunc;

class ASyncRun : public QRunnable
{
public:
    explicit ASyncRun(ASyncFunc *func);
    ~ASyncRun() override;
    ASyncRun(const ASyncRun &) = delete;
    ASyncRun &operator=(const ASyncRun &) = delete;

    void run() override;

private:
    ASyncFunc *m_Func;
};
