#include "platform/desktop_trash.hpp"

#include <gio/gio.h>

#include <memory>

namespace twinlens {
namespace {

template <typename T>
struct GObjectUnref {
  void operator()(T* object) const { g_object_unref(object); }
};
struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};

std::int32_t trashErrorCode(const GError& error) {
  if (error.domain != G_IO_ERROR) return kTrashNotWritableError;
  switch (error.code) {
    case G_IO_ERROR_NOT_FOUND:
      return kTrashFileGoneError;
    case G_IO_ERROR_NOT_SUPPORTED:
      return kTrashUnavailableError;
    default:
      return kTrashNotWritableError;
  }
}

const char* trashErrorReason(std::int32_t code) {
  switch (code) {
    case kTrashFileGoneError:
      return "it is gone";
    case kTrashUnavailableError:
      return "its file system has no trash this user can use";
    default:
      return "the trash folder cannot be written";
  }
}

}  // namespace

bool DesktopTrash::moveToTrash(const std::string& path, ErrorRecord* error) {
  // The local file system's own GFile trashes by rename(2) alone and refuses across file
  // systems, where a remote or daemon-backed one could fall back to copying.
  std::unique_ptr<GFile, GObjectUnref<GFile>> file(
      g_vfs_get_file_for_path(g_vfs_get_local(), path.c_str()));
  GError* failure = nullptr;
  if (g_file_trash(file.get(), nullptr, &failure)) return true;
  std::unique_ptr<GError, GErrorFree> owned(failure);
  std::int32_t code = trashErrorCode(*failure);
  TL_SET_ERROR(error, nullptr, errorDomain(), code, "%s cannot be moved to the trash: %s (%s)",
               path.c_str(), trashErrorReason(code), failure->message);
  return false;
}

}  // namespace twinlens
