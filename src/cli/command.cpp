#include "cli/command.hpp"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "shared/logging.hpp"

namespace twinlens::cli {

std::span<const Command> commands() {
  static const Command kCommands[] = {
      {"hash", "print the photo hash of each file", runHash},
      {"cache", "print the photo library cache of a library or a cache file", runCache},
      {"defaults", "read and change the preferences of a domain", runDefaults},
      {"scan", "find the duplicate photos of an iPhoto library or a folder", runScan},
      {"trash", "have iPhoto move every duplicate photo to its Trash", runTrash},
  };
  return kCommands;
}

bool parseLogLevel(std::string_view text, std::uint32_t* level) {
  std::uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) {
    *level = value;
    return true;
  }
  *level = logLevelForName(text);
  return *level != kLogLevelNone || text == "none";
}

int statusAfterFlushingOutput(int status) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int err = errno;
  if (flushed && !std::ferror(stdout)) return status;
  printError(std::string("error writing standard output: ") +
             (err != 0 ? std::strerror(err) : "output lost"));
  return status == 0 ? 1 : status;
}

void printError(std::string_view message) {
  std::fprintf(stderr, "twinlens-cli: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace twinlens::cli
