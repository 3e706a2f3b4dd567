#pragma once

#include <cstdint>

#include "catalog/photo.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Why TrashGuard refuses to move a duplicate (TrashGuard::errorDomain()).
inline constexpr std::int32_t kTrashGuardNotMatchingError = 1;
inline constexpr std::int32_t kTrashGuardSameFileError = 2;
inline constexpr std::int32_t kTrashGuardDuplicateGoneError = 3;
inline constexpr std::int32_t kTrashGuardDuplicateChangedError = 4;
inline constexpr std::int32_t kTrashGuardKeptPhotoGoneError = 5;
inline constexpr std::int32_t kTrashGuardKeptPhotoChangedError = 6;

// The check made just before a duplicate's files leave their folder, so that no move takes the
// last copy of a picture: the duplicate must still be what was hashed, and the kept photo of its
// group must still be in place, as what was hashed, in a file of its own. Stateless; reads the
// files (status, and the content of a file whose status changed), never writes them.
class TrashGuard {
 public:
  // True when all of these hold, else false with the first that fails, in this order:
  // - the records share a SHA-1 text other than that of no bytes (kTrashGuardNotMatchingError);
  // - each file of `duplicate` (its original, and its modified file when it has one) is a regular
  //   file with the size and modification time it had when hashed, or else hashes again
  //   (SHA1Hash::hashPhoto) to its recorded SHA-1 text (kTrashGuardDuplicateGoneError when nothing
  //   is at its path, kTrashGuardDuplicateChangedError otherwise, an unreadable file included);
  // - each file of `kept` is the same (kTrashGuardKeptPhotoGoneError,
  //   kTrashGuardKeptPhotoChangedError);
  // - no file of `duplicate` is a file of `kept`, under the same path, another spelling of it or
  //   a hard link (kTrashGuardSameFileError).
  // Every message names the file concerned.
  [[nodiscard]] static bool mayMoveDuplicate(const Photo& duplicate, const Photo& kept,
                                             ErrorRecord* error = nullptr);

  static const char* errorDomain() { return "TrashGuardErrorDomain"; }
};

}  // namespace twinlens
