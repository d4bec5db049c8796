// Declares LogFile, the process's optional log, and the Qt message handler that writes into it.
#pragma once

#include <QMutex>
#include <QString>
#include <QTextStream>
#include <QtGlobal>

class QFile;

// True exactly when the marker file "mv3_update_log" was in the temporary path when the LogFile
// was created. Without it no line is written anywhere.
extern bool updateLogEnabled;

// Created at the start of main and never destroyed, so that late lines from pool threads still
// find it. Lines come from the main thread and from pool threads at once; write() serialises them.
class LogFile
{
public:
    LogFile();
    ~LogFile();

    void write(const QString &line);
    void close();

    QFile *file = nullptr;
    QTextStream stream;

    // The log the message handler writes to: the one created last.
    static LogFile *s_current;

private:
    void open();

    QMutex m_mutex;
};

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
