#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/plist_value.hpp"

namespace twinlens {

// The process manager's result code for "no such process", which also ends an enumeration.
inline constexpr std::int32_t kProcessNotFoundResult = -600;

// A place in an enumeration of a ProcessTable; a new one is empty and starts it.
struct ProcessHandle {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t index = kNone;
  bool empty() const { return index == kNone; }
};

// The running processes of this user, read once from /proc, enumerated as the process manager
// enumerates applications. An application is a process whose executable lies in a bundle's
// <Name>.app/Contents/MacOS/ folder; its information dictionary is the bundle's
// Contents/Info.plist, with "CFBundleName" (the bundle's name when the file lacks it) and
// "BundlePath" added. Any other process has only "CFBundleName", its command name. Immutable
// once read; any thread.
class ProcessTable {
 public:
  // The processes under `procRoot` (a folder laid out as /proc) that belong to this user. A
  // folder that cannot be read gives a table whose enumeration fails with the negated errno.
  static ProcessTable read(const std::string& procRoot = "/proc");

  // Advances `handle` to the next process: 0 with the handle naming it, or
  // kProcessNotFoundResult with the handle empty after the last. An unreadable table answers its
  // failure code with the handle naming nothing that can be read.
  std::int32_t getNextProcess(ProcessHandle& handle) const;
  // 0 and the identifier of the process the handle names, or kProcessNotFoundResult.
  std::int32_t getProcessPID(const ProcessHandle& handle, pid_t* pid) const;
  // The information dictionary of the process the handle names; empty when it has gone.
  PListValue::Dictionary informationDictionary(const ProcessHandle& handle) const;

  const std::vector<pid_t>& processIdentifiers() const { return pids_; }

  // The information dictionary of one process under `procRoot`.
  static PListValue::Dictionary informationDictionary(const std::string& procRoot, pid_t pid);

 private:
  ProcessTable(std::string procRoot, std::vector<pid_t> pids, std::int32_t failure)
      : procRoot_(std::move(procRoot)), pids_(std::move(pids)), failure_(failure) {}

  std::string procRoot_;
  std::vector<pid_t> pids_;
  std::int32_t failure_ = 0;
};

}  // namespace twinlens
