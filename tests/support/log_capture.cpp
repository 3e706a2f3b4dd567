#include "support/log_capture.hpp"

#include <algorithm>

#include "shared/logging.hpp"

namespace twinlens::testing {

LogCapture::LogCapture(std::uint32_t level) : previousLevel_(globalLogLevel.load()) {
  setLogSink([this](std::string_view line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(line);
  });
  setLogLevel(level);
}

LogCapture::~LogCapture() {
  setLogSink(nullptr);
  setLogLevel(previousLevel_);
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<std::string> LogCapture::linesStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& line : lines())
    if (line.rfind(prefix, 0) == 0) matching.push_back(line);
  return matching;
}

bool LogCapture::contains(const std::string& part) const {
  const std::vector<std::string> all = lines();
  return std::any_of(all.begin(), all.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

}  // namespace twinlens::testing
