#include "cli/command.hpp"

#include <cstdio>

namespace twinlens::cli {

std::span<const Command> commands() {
  static const Command kCommands[] = {
      {"hash", "print the photo hash of each file", runHash},
      {"cache", "print the photo library cache of a library or a cache file", runCache},
      {"defaults", "read and change the preferences of a domain", runDefaults},
  };
  return kCommands;
}

void printError(std::string_view message) {
  std::fprintf(stderr, "twinlens-cli: %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace twinlens::cli
