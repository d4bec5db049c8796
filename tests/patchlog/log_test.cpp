// Tests of the patch engine's diagnostics log: formatting, filtering and fatal entries.
#include "log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Entry {
    std::string message;
    LogLevel level;
    std::string entry;
};

class RecordingSink : public LogBase
{
public:
    void flush(bool) override { ++flushes; }
    void close() override {}
    bool write(const std::string &message, LogLevel level, const std::string &, int, const std::string &,
               const std::string &entry) override
    {
        entries.push_back({message, level, entry});
        return true;
    }
    std::vector<Entry> entries;
    int flushes = 0;
};

class LogTest : public ::testing::Test
{
protected:
    void TearDown() override { SetLogThreshold(LogLevel_DEVEL); }
    RecordingSink sink;
};

TEST_F(LogTest, EntryHasPaddedHeaderThenMessage)
{
    Log("hello", LogLevel_ERROR, "chan", 7);
    ASSERT_EQ(sink.entries.size(), 1u);
    const std::string &entry = sink.entries[0].entry;
    // 26-character time stamp, then level, channel and id in fixed-width columns.
    ASSERT_GE(entry.size(), 26u);
    EXPECT_EQ(entry[4], '-');
    EXPECT_EQ(entry[10], ' ');
    EXPECT_EQ(entry[19], '.');
    EXPECT_EQ(entry.substr(26), "|ERROR   |chan          |7  |hello");
}

TEST_F(LogTest, ZeroIdAndEmptyChannelLeaveBlankColumns)
{
    Log("x", LogLevel_DEBUG);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].entry.substr(26), "|DEBUG   |              |   |x");
}

TEST_F(LogTest, ContinuationLinesAlignUnderTheMessage)
{
    Log("first\nsecond", LogLevel_WARNING);
    ASSERT_EQ(sink.entries.size(), 1u);
    const std::string &entry = sink.entries[0].entry;
    const size_t headerLength = entry.find("first");
    const size_t lineBreak = entry.find('\n');
    ASSERT_NE(lineBreak, std::string::npos);
    EXPECT_EQ(entry.substr(lineBreak + 1), std::string(headerLength, ' ') + "second");
}

TEST_F(LogTest, ThresholdSkipsLessImportantLevels)
{
    SetLogThreshold(LogLevel_ERROR);
    Log("skipped", LogLevel_DEBUG);
    Log("kept", LogLevel_ERROR);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].message, "kept");
}

TEST_F(LogTest, DatabaseNoiseNeverReachesSinks)
{
    Log("sqlite3_prepare failed no such column: string_id", LogLevel_ERROR, "DatabaseQuery");
    Log("db_exec() select * from instance_properties where string_id = 'x'", LogLevel_ERROR, "DatabaseQuery");
    Log("sqlite3_prepare failed no such column: string_id", LogLevel_ERROR, "Other");
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].entry.find("Other") != std::string::npos, true);
}

TEST_F(LogTest, SinkStopsReceivingAfterDestruction)
{
    auto *second = new RecordingSink;
    Log("both", LogLevel_INFO);
    delete second;
    Log("first only", LogLevel_INFO);
    EXPECT_EQ(sink.entries.size(), 2u);
}

TEST(LogDeathTest, CriticalEndsTheProcessEvenWithoutSinks)
{
    EXPECT_EXIT(Log("fatal", LogLevel_CRITICAL), ::testing::ExitedWithCode(1), "");
}

TEST(LogDeathTest, CriticalIsFlushedAndAssertionTextNamesExpression)
{
    EXPECT_EXIT(
        {
            class StderrSink : public LogBase
            {
            public:
                void flush(bool) override { std::fputs("<flushed>", stderr); }
                void close() override {}
                bool write(const std::string &, LogLevel, const std::string &, int, const std::string &,
                           const std::string &entry) override
                {
                    std::fputs(entry.c_str(), stderr);
                    return true;
                }
            } sink;
            LogAssertionFailure("a == b", "some/source", 12);
        },
        ::testing::ExitedWithCode(1), "CRITICAL.*Assertion \"a == b\" failed at some/source:12; <flushed>");
}

TEST(LogDeathTest, LevelNameBeyondDevelopIsFatal)
{
    EXPECT_STREQ(LogLevelName(LogLevel_DEVEL), "DEVELOP");
    EXPECT_EXIT(LogLevelName(6), ::testing::ExitedWithCode(1), "");
}

} // namespace
