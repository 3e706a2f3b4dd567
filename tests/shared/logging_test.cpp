#include "shared/logging.hpp"

#include <gtest/gtest.h>

#include <typeinfo>

#include "shared/error_record.hpp"
#include "shared/text_format.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;

TEST(LogLevelNames, NamesMapBothWays) {
  struct Case {
    const char* name;
    std::uint32_t level;
  } cases[] = {{"error", 1}, {"WARN", 2},    {"Warn", 2}, {"info", 3}, {"Debug", 4},
               {"tRaCe", 5}, {"warning", 0}, {"", 0},     {"none", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(logLevelForName(c.name), c.level);
  }
  EXPECT_EQ(nameForLogLevel(0), "none");
  EXPECT_EQ(nameForLogLevel(1), "Error");
  EXPECT_EQ(nameForLogLevel(5), "Trace");
  EXPECT_EQ(nameForLogLevel(6), "none");
}

TEST(Logging, EachLevelWritesItsLinesAndThoseAboveIt) {
  const std::pair<std::uint32_t, std::size_t> cases[] = {
      {kLogLevelNone, 0}, {kLogLevelWarn, 2}, {5, 5}, {7, 5}, {4294967295u, 5}};
  for (const auto& [level, count] : cases) {
    SCOPED_TRACE(level);
    LogCapture capture(level);
    int evaluated = 0;
    auto argument = [&evaluated] { return ++evaluated; };
    logError("e %d", 1);
    logWarn("w");
    logInfo("i");
    TL_LOG_DEBUG(nullptr, "d %d", argument());
    TL_LOG_TRACE(nullptr, "t %d", argument());
    EXPECT_EQ(evaluated, count == 5 ? 2 : 0) << "arguments below the level are not evaluated";
    std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), count);
    if (count != 2) continue;
    std::string thread = formatText("%x", currentThreadNumber());
    EXPECT_EQ(lines[0], "ERROR [thread " + thread + "] e 1");
    EXPECT_EQ(lines[1], "WARN [thread " + thread + "]  w");
  }
}

TEST(Logging, DebugAndTraceLinesNameObjectFileAndLine) {
  LogCapture capture(kLogLevelTrace);
  int object = 0;
  const int line = __LINE__ + 1;
  TL_LOG_DEBUG(&object, "hello %s", "there");
  TL_LOG_TRACE(&typeid(LogCapture), "class-level");
  std::vector<std::string> lines = capture.lines();
  ASSERT_EQ(lines.size(), 2u);
  std::string thread = formatText("%x", currentThreadNumber());
  EXPECT_EQ(lines[0], formatText("DEBUG [thread %s] %p logging_test.cpp:%d hello there",
                                 thread.c_str(), static_cast<void*>(&object), line));
  EXPECT_EQ(lines[1].rfind("TRACE [thread " + thread + "] ", 0), 0u);
  EXPECT_NE(lines[1].find(" logging_test.cpp:"), std::string::npos);
}

struct Failer {
  bool fail(ErrorRecord* error) {
    TL_SET_ERROR(error, this, "TestErrorDomain", -3, "failed with %d", 42);
    return false;
  }
  bool passOn(ErrorRecord* error) { return fail(error); }
};

TEST(ErrorRecords, FailureWithPlaceStoresRecordAndWritesOneTraceLineWithoutPlaceNothing) {
  LogCapture capture(kLogLevelTrace);
  Failer failer;
  EXPECT_FALSE(failer.fail(nullptr));
  EXPECT_TRUE(capture.lines().empty());
  ErrorRecord error;
  EXPECT_FALSE(failer.passOn(&error));
  EXPECT_EQ(error, ErrorRecord("TestErrorDomain", -3, "failed with 42"));
  std::vector<std::string> traces = capture.linesStartingWith("TRACE");
  ASSERT_EQ(traces.size(), 1u);
  EXPECT_NE(traces[0].find(formatText("%p logging_test.cpp:", static_cast<void*>(&failer))),
            std::string::npos);
  EXPECT_TRUE(traces[0].ends_with(" failed with 42"));
}

TEST(ErrorRecords, IsErrorWithDomainComparesCodeBySignAndDomainExactly) {
  ErrorRecord minusSeven("CatalogerErrorDomain", -7, "aborted");
  EXPECT_TRUE(minusSeven.isErrorWithDomain("CatalogerErrorDomain", -7));
  EXPECT_FALSE(minusSeven.isErrorWithDomain("CatalogerErrorDomain", -1));
  EXPECT_FALSE(minusSeven.isErrorWithDomain("catalogerErrorDomain", -7));
  ErrorRecord wide("D", 4294967289LL, "");
  EXPECT_FALSE(wide.isErrorWithDomain("D", -7));
}

}  // namespace
}  // namespace twinlens
