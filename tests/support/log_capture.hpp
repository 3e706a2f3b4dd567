#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace twinlens::testing {

// Collects the log lines written while it lives, at the given level, and restores the previous
// level and output afterwards.
class LogCapture {
 public:
  explicit LogCapture(std::uint32_t level);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> lines() const;
  // The lines that start with `prefix` ("TRACE", "WARN", ...).
  std::vector<std::string> linesStartingWith(const std::string& prefix) const;
  // Whether any line holds `part`.
  bool contains(const std::string& part) const;

 private:
  std::uint32_t previousLevel_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace twinlens::testing
