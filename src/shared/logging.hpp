#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlens {

inline constexpr std::uint32_t kLogLevelNone = 0;
inline constexpr std::uint32_t kLogLevelError = 1;
inline constexpr std::uint32_t kLogLevelWarn = 2;
inline constexpr std::uint32_t kLogLevelInfo = 3;
inline constexpr std::uint32_t kLogLevelDebug = 4;
inline constexpr std::uint32_t kLogLevelTrace = 5;

// Process-wide level: Warn until start-up configures it once, before any worker thread runs.
// Every test is an unsigned comparison, so any value above Trace enables every line.
extern std::atomic<std::uint32_t> globalLogLevel;

void setLogLevel(std::uint32_t level);
inline bool logEnabled(std::uint32_t level) {
  return globalLogLevel.load(std::memory_order_relaxed) >= level;
}
// 1 to 5 for "error", "warn", "info", "debug", "trace" in any letter case; 0 for anything else.
std::uint32_t logLevelForName(std::string_view name);
// "Error" ... "Trace" for 1 to 5, "none" for any other value.
std::string nameForLogLevel(std::uint32_t level);

// Each tests the level before it formats anything, then writes one whole line.
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes `text` to the log output with the platform prefix but no level and no level test.
void logPlain(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The calling thread's number as log lines show it (the Linux thread id).
std::uint32_t currentThreadNumber();

// Where finished lines go: standard error by default. Tests capture lines with this; the sink
// receives the line without the date, process and thread prefix.
using LogSink = std::function<void(std::string_view line)>;
void setLogSink(LogSink sink);

// While a LogLineHold lives, lines written on its thread (level test passed, without the
// platform prefix) are appended to `lines` instead of going out, so work done ahead on several
// threads can be logged later in the order of the items it was done for.
using LogLines = std::vector<std::string>;
class LogLineHold {
 public:
  explicit LogLineHold(LogLines& lines);
  ~LogLineHold();
  LogLineHold(const LogLineHold&) = delete;
  LogLineHold& operator=(const LogLineHold&) = delete;

 private:
  LogLines* previous_;
};
// Writes held lines, in order, where every line goes.
void writeLogLines(const LogLines& lines);

// Implementation of TL_LOG_DEBUG and TL_LOG_TRACE; call those instead.
void logDebugAt(const void* object, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
void logTraceAt(const void* object, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

}  // namespace twinlens

// Debug and Trace lines name the object they are written for (`this`, or &typeid(Class) in a
// class-level operation); file and line come from the call site. Arguments are evaluated only
// when the level test passes.
#define TL_LOG_DEBUG(object, ...)                                                                \
  do {                                                                                           \
    if (::twinlens::logEnabled(::twinlens::kLogLevelDebug))                                      \
      ::twinlens::logDebugAt(static_cast<const void*>(object), __FILE__, __LINE__, __VA_ARGS__); \
  } while (0)
#define TL_LOG_TRACE(object, ...)                                                                \
  do {                                                                                           \
    if (::twinlens::logEnabled(::twinlens::kLogLevelTrace))                                      \
      ::twinlens::logTraceAt(static_cast<const void*>(object), __FILE__, __LINE__, __VA_ARGS__); \
  } while (0)
