// Declares the patch engine's levelled diagnostics log and its assertions.
#pragma once

#include <string>

enum LogLevel {
    LogLevel_CRITICAL = 0,
    LogLevel_ERROR = 1,
    LogLevel_WARNING = 2,
    LogLevel_DEBUG = 3,
    LogLevel_INFO = 4,
    LogLevel_DEVEL = 5,
};

// A sink. Constructing one registers it at the end of the process-wide list; destroying it removes it.
class LogBase
{
public:
    LogBase();
    virtual ~LogBase();
    LogBase(const LogBase &) = delete;
    LogBase &operator=(const LogBase &) = delete;

    // Called right after a CRITICAL entry was written, with the write's result.
    virtual void flush(bool written) = 0;
    virtual void close() = 0;
    virtual bool write(const std::string &message, LogLevel level, const std::string &channel, int id,
                       const std::string &timestamp, const std::string &entry) = 0;
    virtual void attached() {}
};

using LogCriticalCallback = void (*)(const std::string &entry);

// Formats the entry once and hands it to every sink; CRITICAL ends the process with status 1.
void Log(const std::string &message, LogLevel level, const std::string &channel = std::string(), int id = 0);

const char *LogLevelName(int level);

void SetLogThreshold(int level);
void SetLogLocalTime(bool local);
void SetLogTimestampStyle(int style);
void SetLogCriticalCallback(LogCriticalCallback callback);

// Logs "Assertion "<expression>" failed at <source>:<line>; " at CRITICAL, which does not return.
[[noreturn]] void LogAssertionFailure(const char *expression, const char *source, int line);

#define PATCHLOG_ASSERT(expr, source) \
    do { \
        if (!(expr)) \
            LogAssertionFailure(#expr, source, __LINE__); \
    } while (0)
