#include "catalog/photo_hash_job.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "catalog/photo.hpp"
#include "crypto/sha1_hash.hpp"

namespace twinlens {

namespace {

#ifdef __APPLE__
#define TL_MTIME(info) (info).st_mtimespec
#else
#define TL_MTIME(info) (info).st_mtim
#endif

bool unchanged(const std::optional<std::string>& sha1, std::uint64_t size, std::int64_t sec,
               std::int64_t nsec, std::uint64_t fileSize, std::int64_t fileSec,
               std::int64_t fileNsec) {
  return sha1 && size == fileSize && sec == fileSec && nsec == fileNsec;
}

void fail(ErrorRecord* error, const ErrorRecord& record) {
  if (error) *error = record;
}

}  // namespace

bool PhotoHashJob::statFile(const Photo& photo, File& file, Check& check) {
  LogLineHold hold(check.lines);
  struct stat info;
  if (::stat(file.path.c_str(), &info) != 0) {
    int err = errno;
    check.failure.emplace();
    TL_SET_UNIX_ERROR(&*check.failure, &photo, err, "%s: %s", file.path.c_str(),
                      std::strerror(err));
    return false;
  }
  file.size = static_cast<std::uint64_t>(info.st_size);
  file.sec = static_cast<std::int64_t>(TL_MTIME(info).tv_sec);
  file.nsec = static_cast<std::int64_t>(TL_MTIME(info).tv_nsec);
  return true;
}

PhotoHashJob PhotoHashJob::plan(const Photo& photo) {
  PhotoHashJob job;
  const std::optional<std::string>& original = photo.originalPath();
  if (!original || original->empty()) {
    LogLineHold hold(job.originalCheck_.lines);
    job.originalCheck_.failure.emplace();
    TL_SET_ERROR(&*job.originalCheck_.failure, &photo, Photo::errorDomain(),
                 Photo::kInvalidPhotoError, "missing originalPath for photo %s",
                 photo.description().c_str());
    return job;
  }
  job.original_.path = *original;
  if (!statFile(photo, job.original_, job.originalCheck_)) return job;
  if (job.original_.size == 0) {
    LogLineHold hold(job.originalCheck_.lines);
    job.originalCheck_.failure.emplace();
    TL_SET_ERROR(&*job.originalCheck_.failure, &photo, Photo::errorDomain(),
                 Photo::kInvalidPhotoError, "%s is an empty file", original->c_str());
    return job;
  }
  job.original_.changed = !unchanged(photo.originalSHA1(), photo.originalFileSize(),
                                     photo.originalMtime_sec(), photo.originalMtime_nsec(),
                                     job.original_.size, job.original_.sec, job.original_.nsec);
  const std::optional<std::string>& modified = photo.modifiedPath();
  job.hasModified_ = modified && !modified->empty();
  if (!job.hasModified_) return job;
  job.modified_.path = *modified;
  if (!statFile(photo, job.modified_, job.modifiedCheck_)) return job;
  job.modified_.changed = !unchanged(photo.modifiedSHA1(), photo.modifiedFileSize(),
                                     photo.modifiedMtime_sec(), photo.modifiedMtime_nsec(),
                                     job.modified_.size, job.modified_.sec, job.modified_.nsec);
  return job;
}

bool PhotoHashJob::modifiedToHash() const {
  return hasModified_ && !modifiedCheck_.failure && modified_.changed;
}

bool PhotoHashJob::needsHashing() const {
  return !originalCheck_.failure && (original_.changed || modifiedToHash());
}

std::uint64_t PhotoHashJob::bytesToHash() const {
  if (originalCheck_.failure) return 0;
  return (original_.changed ? original_.size : 0) + (modifiedToHash() ? modified_.size : 0);
}

void PhotoHashJob::hash(File& file) {
  LogLineHold hold(file.lines);
  file.sha1 = SHA1Hash::hashPhoto(file.path, &file.error);
}

void PhotoHashJob::hashFiles() {
  if (originalCheck_.failure) return;
  if (original_.changed) {
    hash(original_);
    if (!original_.sha1) return;
  }
  if (modifiedToHash()) hash(modified_);
}

bool PhotoHashJob::finishFile(const Photo& photo, const File& file, const char* which,
                              std::optional<std::string>& sha1, std::uint64_t& size,
                              std::int64_t& sec, std::int64_t& nsec, ErrorRecord* error) {
  if (!file.changed) {
    TL_LOG_TRACE(&photo, "NOT re-hashing %s %s", which, file.path.c_str());
    return true;
  }
  TL_LOG_DEBUG(&photo, "hashing %s %s", which, file.path.c_str());
  writeLogLines(file.lines);
  sha1 = file.sha1;
  if (!sha1) {
    fail(error, file.error);
    return false;
  }
  size = file.size;
  sec = file.sec;
  nsec = file.nsec;
  return true;
}

bool PhotoHashJob::finish(Photo& photo, ErrorRecord* error) {
  writeLogLines(originalCheck_.lines);
  if (originalCheck_.failure) {
    fail(error, *originalCheck_.failure);
    return false;
  }
  if (!finishFile(photo, original_, "original", photo.originalSHA1_, photo.originalFileSize_,
                  photo.originalMtime_sec_, photo.originalMtime_nsec_, error))
    return false;
  if (!hasModified_) {
    photo.modifiedSHA1_.reset();
    photo.modifiedFileSize_ = 0;
    photo.modifiedMtime_sec_ = 0;
    photo.modifiedMtime_nsec_ = 0;
    return true;
  }
  writeLogLines(modifiedCheck_.lines);
  if (modifiedCheck_.failure) {
    fail(error, *modifiedCheck_.failure);
    return false;
  }
  return finishFile(photo, modified_, "modified", photo.modifiedSHA1_, photo.modifiedFileSize_,
                    photo.modifiedMtime_sec_, photo.modifiedMtime_nsec_, error);
}

}  // namespace twinlens
