#include "catalog/trash_guard.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "crypto/sha1_hash.hpp"

namespace twinlens {
namespace {

enum class FileState { asHashed, gone, changed };

struct CheckedFile {
  std::string path;
  FileState state = FileState::asHashed;
  std::string reason;
  dev_t device = 0;
  ino_t inode = 0;
};

struct RecordedFile {
  const std::optional<std::string>& path;
  const std::optional<std::string>& sha1;
  std::uint64_t size;
  std::int64_t sec;
  std::int64_t nsec;
};

CheckedFile changed(CheckedFile file, std::string reason) {
  file.state = FileState::changed;
  file.reason = std::move(reason);
  return file;
}

CheckedFile check(const RecordedFile& recorded) {
  CheckedFile file;
  file.path = recorded.path.value_or("(null)");
  if (!recorded.path || !recorded.sha1) return changed(file, "it was never hashed");
  struct stat info {};
  if (::lstat(file.path.c_str(), &info) != 0) {
    int err = errno;
    file = changed(file, std::strerror(err));
    if (err == ENOENT || err == ENOTDIR) file.state = FileState::gone;
    return file;
  }
  file.device = info.st_dev;
  file.inode = info.st_ino;
  if (!S_ISREG(info.st_mode)) return changed(file, "it is not a regular file");
  if (static_cast<std::uint64_t>(info.st_size) == recorded.size &&
      info.st_mtim.tv_sec == recorded.sec && info.st_mtim.tv_nsec == recorded.nsec)
    return file;
  ErrorRecord error;
  std::optional<std::string> sha1 = SHA1Hash::hashPhoto(file.path, &error);
  if (!sha1) return changed(file, error.description());
  if (*sha1 != *recorded.sha1) return changed(file, "its content is not what was hashed");
  return file;
}

std::vector<CheckedFile> checkFiles(const Photo& photo) {
  std::vector<CheckedFile> files{
      check({photo.originalPath(), photo.originalSHA1(), photo.originalFileSize(),
             photo.originalMtime_sec(), photo.originalMtime_nsec()})};
  if (photo.modifiedPath())
    files.push_back(check({photo.modifiedPath(), photo.modifiedSHA1(), photo.modifiedFileSize(),
                           photo.modifiedMtime_sec(), photo.modifiedMtime_nsec()}));
  return files;
}

bool shareAPicture(const Photo& a, const Photo& b) {
  // The text of no bytes (an empty edit, a JPEG without image data) tells nothing of a picture.
  static const std::string noBytes = SHA1Hash::hashData({});
  for (const auto* x : {&a.originalSHA1(), &a.modifiedSHA1()})
    for (const auto* y : {&b.originalSHA1(), &b.modifiedSHA1()})
      if (*x && *y && **x == **y && **x != noBytes) return true;
  return false;
}

// True when every file is as hashed, else false with a record for the first that is not, its
// path after `whose`.
bool allAsHashed(const std::vector<CheckedFile>& files, const char* whose, std::int32_t goneCode,
                 std::int32_t changedCode, ErrorRecord* error) {
  for (const auto& file : files) {
    if (file.state == FileState::asHashed) continue;
    bool gone = file.state == FileState::gone;
    TL_SET_ERROR(error, nullptr, TrashGuard::errorDomain(), gone ? goneCode : changedCode,
                 "%s%s %s: %s", whose, file.path.c_str(),
                 gone ? "is gone" : "changed since it was hashed", file.reason.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool TrashGuard::mayMoveDuplicate(const Photo& duplicate, const Photo& kept, ErrorRecord* error) {
  if (!shareAPicture(duplicate, kept)) {
    TL_SET_ERROR(error, nullptr, errorDomain(), kTrashGuardNotMatchingError,
                 "%s does not match the kept photo %s",
                 duplicate.originalPath().value_or("(null)").c_str(),
                 kept.originalPath().value_or("(null)").c_str());
    return false;
  }
  std::vector<CheckedFile> duplicateFiles = checkFiles(duplicate);
  if (!allAsHashed(duplicateFiles, "", kTrashGuardDuplicateGoneError,
                   kTrashGuardDuplicateChangedError, error))
    return false;
  std::vector<CheckedFile> keptFiles = checkFiles(kept);
  if (!allAsHashed(keptFiles, "the kept photo ", kTrashGuardKeptPhotoGoneError,
                   kTrashGuardKeptPhotoChangedError, error))
    return false;
  for (const auto& ours : duplicateFiles)
    for (const auto& theirs : keptFiles)
      if (ours.device == theirs.device && ours.inode == theirs.inode) {
        TL_SET_ERROR(error, nullptr, errorDomain(), kTrashGuardSameFileError,
                     "%s is the file of the kept photo %s", ours.path.c_str(), theirs.path.c_str());
        return false;
      }
  return true;
}

}  // namespace twinlens
