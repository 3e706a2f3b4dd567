#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace twinlens::cli {

// One subcommand of twinlens-cli: gets the words after its name, returns the exit status.
struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(std::span<const std::string_view> args);
};

std::span<const Command> commands();

int runHash(std::span<const std::string_view> args);
int runCache(std::span<const std::string_view> args);
int runDefaults(std::span<const std::string_view> args);
int runScan(std::span<const std::string_view> args);
int runTrash(std::span<const std::string_view> args);

// A log level given as 0-5 or as a level name; false for anything else.
bool parseLogLevel(std::string_view text, std::uint32_t* level);

// `status`, or 1 when standard output could not be written (a full disk, a closed pipe), which
// is then said on standard error; every command's status passes through it.
int statusAfterFlushingOutput(int status);

// Writes "twinlens-cli: <message>" to standard error.
void printError(std::string_view message);

}  // namespace twinlens::cli
