#pragma once

#include <cstdint>
#include <string>

#include "shared/error_record.hpp"

namespace twinlens {

// Why a file could not be moved to the desktop trash (DesktopTrash::errorDomain()).
inline constexpr std::int32_t kTrashFileGoneError = 1;
inline constexpr std::int32_t kTrashNotWritableError = 2;
inline constexpr std::int32_t kTrashUnavailableError = 3;

// The user's trash of the freedesktop.org Trash specification, as the desktop's file manager
// shows it and puts files back from it. Stateless; any thread may call it.
class DesktopTrash {
 public:
  // Moves the file at `path` (a symbolic link itself, never its target) into the trash of its file
  // system by one rename, with an info file naming its original path and the deletion date: on
  // the home folder's file system $XDG_DATA_HOME/Trash (files/NAME, info/NAME.trashinfo), on any
  // other the .Trash-UID folder at the top of its mount. A name already in the trash gets a free
  // variant. The file is never copied, so a failure leaves it whole where it was. Fails with
  // kTrashFileGoneError when nothing is at `path`, kTrashUnavailableError when its file system
  // has no trash this user can use (or the trash lies on another file system), and
  // kTrashNotWritableError when the trash cannot take it; the message names the file and the
  // system's reason.
  [[nodiscard]] static bool moveToTrash(const std::string& path, ErrorRecord* error = nullptr);

  static const char* errorDomain() { return "DesktopTrashErrorDomain"; }
};

}  // namespace twinlens
