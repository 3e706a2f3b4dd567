#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shared/error_record.hpp"
#include "shared/logging.hpp"

namespace twinlens {

class Photo;

// One photo's updateSHA1s() in three steps, so a scan can hash on other threads: plan() reads
// the files' status and decides what to hash on the thread that owns the record; hashFiles()
// reads and hashes the changed files and touches no record, so any thread may run it; finish()
// writes the results into the record on the owning thread and writes the lines of all three
// steps in the order one uninterrupted updateSHA1s() writes them.
class PhotoHashJob {
 public:
  static PhotoHashJob plan(const Photo& photo);
  // False when no file changed or the photo already failed: hashFiles() would do nothing.
  bool needsHashing() const;
  // The size of the files hashFiles() reads.
  std::uint64_t bytesToHash() const;
  void hashFiles();
  [[nodiscard]] bool finish(Photo& photo, ErrorRecord* error = nullptr);

 private:
  struct File {
    std::string path;
    std::uint64_t size = 0;
    std::int64_t sec = 0;
    std::int64_t nsec = 0;
    bool changed = false;
    std::optional<std::string> sha1;
    ErrorRecord error;
    LogLines lines;
  };
  struct Check {
    std::optional<ErrorRecord> failure;
    LogLines lines;
  };
  static bool statFile(const Photo& photo, File& file, Check& check);
  bool modifiedToHash() const;
  static void hash(File& file);
  static bool finishFile(const Photo& photo, const File& file, const char* which,
                         std::optional<std::string>& sha1, std::uint64_t& size, std::int64_t& sec,
                         std::int64_t& nsec, ErrorRecord* error);

  Check originalCheck_;
  File original_;
  bool hasModified_ = false;
  Check modifiedCheck_;
  File modified_;
};

}  // namespace twinlens
