#pragma once

#include <string>

#include "shared/error_record.hpp"

namespace twinlens {

// An advisory lock (flock) on a file that processes agree to take before they touch what it
// guards. The lock is held from a successful tryLock() until the object is destroyed, also when
// the process dies, since the system drops it with the last open descriptor.
class FileLock {
 public:
  enum class State { acquired, busy, failed };

  explicit FileLock(std::string path) : path_(std::move(path)) {}
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock without waiting, creating the file (mode 0600) when it is missing: acquired,
  // busy while another holder has it, or failed with "UnixErrorDomain" errno "%@: %s" when the
  // file cannot be opened or locked. Acquired again at once when already held.
  State tryLock(ErrorRecord* error = nullptr);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace twinlens
