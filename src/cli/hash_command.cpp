#include <charconv>
#include <cstdio>
#include <string>

#include "cli/command.hpp"
#include "crypto/sha1_hash.hpp"
#include "shared/logging.hpp"

namespace twinlens::cli {

namespace {

constexpr const char* kHashUsage =
    "usage: twinlens-cli hash [--whole] [--log-level N] PATH...\n"
    "\n"
    "Prints '<sha1>  <path>' for each file, as sha1sum does. A JPEG is hashed over its image\n"
    "data only, so copies that differ only in EXIF, comments or other metadata match; other\n"
    "files, and JPEGs whose segments cannot be walked, are hashed whole.\n"
    "\n"
    "  --whole        hash every file whole, JPEG or not\n"
    "  --log-level N  log level 0-5 or a name (error, warn, info, debug, trace)\n"
    "\n"
    "Exit status: 1 when any path could not be hashed, else 0.\n";

}  // namespace

int runHash(std::span<const std::string_view> args) {
  bool whole = false;
  std::vector<std::string> paths;
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (!optionsDone && (arg == "--help" || arg == "-h")) {
      std::fputs(kHashUsage, stdout);
      return 0;
    } else if (!optionsDone && arg == "--whole") {
      whole = true;
    } else if (!optionsDone && arg == "--log-level") {
      std::uint32_t level;
      if (i + 1 == args.size() || !parseLogLevel(args[i + 1], &level)) {
        printError("--log-level needs a level (0-5 or a name)");
        return 2;
      }
      setLogLevel(level);
      ++i;
    } else if (!optionsDone && arg == "--") {
      optionsDone = true;
    } else if (!optionsDone && arg.starts_with("--")) {
      printError("unknown option '" + std::string(arg) + "'");
      std::fputs(kHashUsage, stderr);
      return 2;
    } else {
      paths.emplace_back(arg);
    }
  }
  if (paths.empty()) {
    std::fputs(kHashUsage, stderr);
    return 2;
  }
  int status = 0;
  for (const std::string& path : paths) {
    ErrorRecord error;
    std::optional<std::string> digest =
        whole ? SHA1Hash::hashFile(path, &error) : SHA1Hash::hashPhoto(path, &error);
    if (digest) {
      std::printf("%s  %s\n", digest->c_str(), path.c_str());
    } else {
      std::fflush(stdout);
      printError(error.description());
      status = 1;
    }
  }
  return status;
}

}  // namespace twinlens::cli
