#pragma once

#include <sys/types.h>

#include <string>

#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Replaces the file at `path` with `data` so that a reader finds either the old file or the new
// one, whole, even across a crash: the bytes go to a temporary file in the same folder, are
// flushed to disk, and the temporary file is renamed over `path`; then the folder is synced. The
// new file gets `mode`. On failure the old file is left as it was, the temporary file is removed,
// and the record is "UnixErrorDomain" with errno and "%@: %s" (the path concerned, system text).
// The temporary file is "<path>.XXXXXX", locked with flock while it is written; a successful
// write removes the temporary files of `path` that no one holds (left by writes that were killed).
bool writeDataAtomically(const std::string& path, const std::uint8_t* bytes, std::size_t length,
                         mode_t mode, ErrorRecord* error = nullptr);
inline bool writeDataAtomically(const std::string& path, const Data& data, mode_t mode,
                                ErrorRecord* error = nullptr) {
  return writeDataAtomically(path, data.data(), data.size(), mode, error);
}

}  // namespace twinlens
