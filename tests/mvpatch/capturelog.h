// A log sink for tests that records the engine's messages.
#pragma once

#include "log.h"

#include <algorithm>
#include <string>
#include <vector>

class CaptureLog : public LogBase
{
public:
    void flush(bool) override {}
    void close() override {}
    bool write(const std::string &message, LogLevel level, const std::string &, int, const std::string &,
               const std::string &) override
    {
        messages.push_back(message);
        levels.push_back(level);
        return true;
    }
    bool contains(const std::string &message) const
    {
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    std::string joined() const
    {
        std::string all;
        for (const std::string &m : messages)
            all += m + "\n";
        return all;
    }

    std::vector<std::string> messages;
    std::vector<LogLevel> levels;
};
