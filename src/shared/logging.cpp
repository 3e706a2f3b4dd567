#include "shared/logging.hpp"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <mutex>

#include "shared/text_format.hpp"

namespace twinlens {

std::atomic<std::uint32_t> globalLogLevel{kLogLevelWarn};

namespace {

std::mutex sinkMutex;
LogSink& sinkSlot() {
  static LogSink sink;
  return sink;
}

std::string platformPrefix() {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  return formatText("%s.%03d %s[%d:%x] ", stamp, static_cast<int>(now.tv_usec / 1000),
                    program_invocation_short_name, static_cast<int>(getpid()),
                    currentThreadNumber());
}

void writeAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

thread_local LogLines* heldLines = nullptr;

void emit(const std::string& line) {
  if (heldLines) {
    heldLines->push_back(line);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (LogSink& sink = sinkSlot()) {
      sink(line);
      return;
    }
  }
  // One write per line keeps lines from different threads whole.
  writeAll(STDERR_FILENO, platformPrefix() + line + "\n");
}

// `head` is the level word with the blanks that its line format puts before the message.
void emitLevel(const char* head, const char* format, va_list args) {
  std::string message = formatTextV(format, args);
  emit(formatText("%s [thread %x]%s", head, currentThreadNumber(),
                  std::strcmp(head, "ERROR") == 0 ? " " : "  ") +
       message);
}

const char* lastPathComponent(const char* file) {
  const char* slash = std::strrchr(file, '/');
  return slash ? slash + 1 : file;
}

void emitLocated(const char* head, const void* object, const char* file, int line,
                 const char* format, va_list args) {
  std::string message = formatTextV(format, args);
  emit(formatText("%s [thread %x] %p %s:%d ", head, currentThreadNumber(), object,
                  lastPathComponent(file), line) +
       message);
}

}  // namespace

void setLogLevel(std::uint32_t level) {
  globalLogLevel.store(level, std::memory_order_relaxed);
}

std::uint32_t logLevelForName(std::string_view name) {
  static constexpr std::string_view kNames[] = {"error", "warn", "info", "debug", "trace"};
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (std::uint32_t i = 0; i < std::size(kNames); ++i)
    if (lower == kNames[i]) return i + 1;
  return kLogLevelNone;
}

std::string nameForLogLevel(std::uint32_t level) {
  static constexpr const char* kNames[] = {"Error", "Warn", "Info", "Debug", "Trace"};
  if (level < 1 || level > 5) return "none";
  return kNames[level - 1];
}

std::uint32_t currentThreadNumber() {
  thread_local const std::uint32_t tid = static_cast<std::uint32_t>(::syscall(SYS_gettid));
  return tid;
}

LogLineHold::LogLineHold(LogLines& lines) : previous_(heldLines) {
  heldLines = &lines;
}

LogLineHold::~LogLineHold() {
  heldLines = previous_;
}

void writeLogLines(const LogLines& lines) {
  for (const std::string& line : lines) emit(line);
}

void setLogSink(LogSink sink) {
  std::lock_guard<std::mutex> lock(sinkMutex);
  sinkSlot() = std::move(sink);
}

#define TL_EMIT_LEVEL(level, head) \
  if (!logEnabled(level)) return;  \
  va_list args;                    \
  va_start(args, format);          \
  emitLevel(head, format, args);   \
  va_end(args)

void logError(const char* format, ...) {
  TL_EMIT_LEVEL(kLogLevelError, "ERROR");
}
void logWarn(const char* format, ...) {
  TL_EMIT_LEVEL(kLogLevelWarn, "WARN");
}
void logInfo(const char* format, ...) {
  TL_EMIT_LEVEL(kLogLevelInfo, "INFO");
}

void logPlain(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(formatTextV(format, args));
  va_end(args);
}

#define TL_EMIT_LOCATED(level, head)                   \
  if (!logEnabled(level)) return;                      \
  va_list args;                                        \
  va_start(args, format);                              \
  emitLocated(head, object, file, line, format, args); \
  va_end(args)

void logDebugAt(const void* object, const char* file, int line, const char* format, ...) {
  TL_EMIT_LOCATED(kLogLevelDebug, "DEBUG");
}
void logTraceAt(const void* object, const char* file, int line, const char* format, ...) {
  TL_EMIT_LOCATED(kLogLevelTrace, "TRACE");
}

}  // namespace twinlens
