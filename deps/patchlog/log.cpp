// Defines the patch engine's diagnostics log.
#include "log.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/format.hpp>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

// Plain globals by design: set once before the engine runs.
int g_threshold = LogLevel_DEVEL;
bool g_localTime = false;
int g_timestampStyle = 0;
LogCriticalCallback g_criticalCallback = nullptr;

std::vector<LogBase *> &sinks()
{
    static std::vector<LogBase *> list;
    return list;
}

const char *const kLevelNames[] = {"CRITICAL", "ERROR", "WARNING", "DEBUG", "INFO", "DEVELOP"};

bool isDroppedDatabaseNoise(const std::string &message, const std::string &channel)
{
    if (channel != "DatabaseQuery")
        return false;
    return message == "sqlite3_prepare failed no such column: string_id" ||
           message.find("db_exec() select * from instance_properties where string_id = '") != std::string::npos;
}

std::string timestamp()
{
    namespace pt = boost::posix_time;
    const pt::ptime now = g_localTime ? pt::microsec_clock::local_time() : pt::microsec_clock::universal_time();
    // Style 0 is the only one defined: ISO-like date, time with microseconds.
    std::string text = pt::to_iso_extended_string(now);
    std::replace(text.begin(), text.end(), 'T', ' ');
    if (text.find('.') == std::string::npos)
        text += '.';
    return (boost::format("%026s") % text).str();
}

std::string indentContinuationLines(const std::string &message, size_t indent)
{
    std::string out;
    out.reserve(message.size());
    for (char c : message) {
        out += c;
        if (c == '\n')
            out.append(indent, ' ');
    }
    return out;
}

} // namespace

LogBase::LogBase()
{
    sinks().push_back(this);
}

LogBase::~LogBase()
{
    auto &list = sinks();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

const char *LogLevelName(int level)
{
    if (!(level >= 0 && level <= LogLevel_DEVEL))
        LogAssertionFailure("lvl >= 0 && lvl <= LogLevel_DEVEL", "../../../deps/patchlog/log", __LINE__);
    return kLevelNames[level];
}

void Log(const std::string &message, LogLevel level, const std::string &channel, int id)
{
    if (isDroppedDatabaseNoise(message, channel))
        return;

    if (level <= g_threshold) {
        const std::string stamp = timestamp();
        const std::string idText = id == 0 ? std::string() : std::to_string(id);
        const std::string header =
            (boost::format("%s|%-8s|%-14s|%-3s|") % stamp % LogLevelName(level) % channel % idText).str();
        const std::string entry = header + indentContinuationLines(message, header.size());
        if (!entry.empty()) {
            for (LogBase *sink : sinks()) {
                const bool written = sink->write(message, level, channel, id, stamp, entry);
                if (level == LogLevel_CRITICAL)
                    sink->flush(written);
            }
            if (level == LogLevel_CRITICAL && g_criticalCallback)
                g_criticalCallback(entry);
        }
    }

    if (level == LogLevel_CRITICAL)
        std::exit(1);
}

void LogAssertionFailure(const char *expression, const char *source, int line)
{
    Log((boost::format("Assertion \"%s\" failed at %s:%d; ") % expression % source % line).str(), LogLevel_CRITICAL);
    std::exit(1); // Log() already ended the process; this keeps [[noreturn]] honest.
}

void SetLogThreshold(int level) { g_threshold = level; }
void SetLogLocalTime(bool local) { g_localTime = local; }
void SetLogTimestampStyle(int style) { g_timestampStyle = style; }
void SetLogCriticalCallback(LogCriticalCallback callback) { g_criticalCallback = callback; }
