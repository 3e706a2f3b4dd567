#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
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
// The same for bytes made as they are written: `write` hands them to the sink it is given, in
// pieces, and returns false (with its own record) on a failure of its own. The sink returns false
// once writing to the file has failed; the whole write then fails as writeDataAtomically() does.
using AtomicFileSink = std::function<bool(const std::uint8_t* bytes, std::size_t length)>;
bool writeFileAtomically(
    const std::string& path, mode_t mode,
    const std::function<bool(const AtomicFileSink& sink, ErrorRecord* error)>& write,
    ErrorRecord* error = nullptr);
inline bool writeDataAtomically(const std::string& path, const Data& data, mode_t mode,
                                ErrorRecord* error = nullptr) {
  return writeDataAtomically(path, data.data(), data.size(), mode, error);
}

}  // namespace twinlens
