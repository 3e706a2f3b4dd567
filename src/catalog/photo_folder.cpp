#include "catalog/photo_folder.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>

#include "catalog/photo_file_type.hpp"
#include "io/file_helpers.hpp"
#include "shared/logging.hpp"
#include "shared/utf8.hpp"

namespace twinlens {

namespace {

#ifdef __APPLE__
#define TL_MTIME(info) (info).st_mtimespec
#else
#define TL_MTIME(info) (info).st_mtim
#endif

std::string joined(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (!path.empty()) path += '/';
  path.append(name);
  return path;
}

void warnUnreadable(const std::string& path, int err) {
  logWarn("skipping %s: %s", path.c_str(), std::strerror(err));
}

// True when the record was hashed from this very file as it is now.
bool hashedAsIs(const Photo& photo, const PhotoFolder::File& file, const std::string& path) {
  return photo.originalSHA1() && photo.originalPath() == path &&
         photo.originalFileSize() == file.size && photo.originalMtime_sec() == file.mtimeSec &&
         photo.originalMtime_nsec() == file.mtimeNsec;
}

// The photo type of the file's content; nullopt for another file, or one that cannot be read,
// which is then named in a Warn line.
std::optional<PhotoFileType> contentType(const std::string& path) {
  ErrorRecord error;
  const int fd = openRegularFileForReading(path, O_NOFOLLOW, &error);
  if (fd < 0) {
    logWarn("skipping %s: %s", path.c_str(), error.description().c_str());
    return std::nullopt;
  }
  std::array<unsigned char, kPhotoFileHeadLength> head;
  std::size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) warnUnreadable(path, errno);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  std::optional<PhotoFileType> type = photoFileTypeOfContent(std::span(head.data(), got));
  if (!type) TL_LOG_DEBUG(nullptr, "skipping %s: not a photo", path.c_str());
  return type;
}

// The folder a file lies in, relative to the scanned folder: "." at the top.
std::string eventOf(std::string_view relativePath) {
  const std::size_t slash = relativePath.rfind('/');
  return std::string(slash == std::string_view::npos ? "." : relativePath.substr(0, slash));
}

// The catalogue entry a file stands for; without a type the record keeps the one it has.
PListValue entryFor(const PhotoFolder::File& file, const std::string& path,
                    std::optional<PhotoFileType> type, std::int64_t roll) {
  const double modified = static_cast<double>(file.mtimeSec) -
                          Date::kTimeIntervalBetween1970AndReferenceDate +
                          static_cast<double>(file.mtimeNsec) / 1e9;
  PListValue::Dictionary::Entries fields{
      {"ImagePath", PListValue::text(path)},
      {"ThumbPath", PListValue::text(path)},
      {"Caption", PListValue::text(lastPathComponent(file.relativePath))},
      {"DateAsTimerInterval", PListValue::real(modified)},
      {"Roll", PListValue::integer(roll)}};
  if (type)
    fields.emplace_back("ImageType", PListValue::text(std::string(photoFileTypeName(*type))));
  return PListValue::dictionary(PListValue::Dictionary(std::move(fields)));
}

}  // namespace

std::string PhotoFolder::photoKeyForRelativePath(std::string_view relativePath) {
  std::string key;
  key.reserve(relativePath.size());
  while (!relativePath.empty()) {
    std::size_t length = relativePath[0] == '%' ? 0 : utf8SequenceLength(relativePath, 0);
    if (length == 0) {
      constexpr char kHex[] = "0123456789ABCDEF";
      const auto byte = static_cast<unsigned char>(relativePath[0]);
      key += '%';
      key += kHex[byte >> 4];
      key += kHex[byte & 15];
      length = 1;
    } else {
      key.append(relativePath.substr(0, length));
    }
    relativePath.remove_prefix(length);
  }
  return key;
}

std::optional<std::vector<PhotoFolder::File>> PhotoFolder::photoFiles(
    const std::atomic<bool>* cancel, ErrorRecord* error) const {
  std::vector<File> files;
  std::vector<std::string> folders{""};
  while (!folders.empty() && !(cancel && *cancel)) {
    const std::string relative = std::move(folders.back());
    folders.pop_back();
    const std::string path = relative.empty() ? root_ : fullPath(relative);
    // The top folder is the one the user named, link or not; below it no link is followed.
    const int fd = ::open(path.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (relative.empty() ? 0 : O_NOFOLLOW));
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
      const int err = errno;
      if (relative.empty()) {
        TL_SET_UNIX_ERROR(error, this, err, "%s: %s", path.c_str(), std::strerror(err));
        return std::nullopt;
      }
      warnUnreadable(path, err);
      if (fd >= 0) ::close(fd);
      continue;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);
    while (const dirent* entry = ::readdir(dir)) {
      const std::string_view name = entry->d_name;
      if (name.empty() || name[0] == '.') continue;
      const unsigned char kind = entry->d_type;
      if (kind == DT_DIR) {
        folders.push_back(joined(relative, name));
        continue;
      }
      if ((kind != DT_REG && kind != DT_UNKNOWN) || (kind == DT_REG && !hasPhotoExtension(name)))
        continue;
      struct stat info;
      if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        warnUnreadable(joined(path, name), errno);
        continue;
      }
      if (S_ISDIR(info.st_mode)) folders.push_back(joined(relative, name));
      if (!S_ISREG(info.st_mode) || !hasPhotoExtension(name)) continue;
      files.push_back({joined(relative, name), static_cast<std::uint64_t>(info.st_size),
                       static_cast<std::int64_t>(TL_MTIME(info).tv_sec),
                       static_cast<std::int64_t>(TL_MTIME(info).tv_nsec)});
    }
  }
  std::sort(files.begin(), files.end(),
            [](const File& a, const File& b) { return a.relativePath < b.relativePath; });
  return files;
}

std::string PhotoFolder::fullPath(std::string_view relativePath) const {
  // The root "/" already ends in the separator.
  return root_ == "/" ? std::string(root_).append(relativePath) : joined(root_, relativePath);
}

std::vector<std::shared_ptr<Photo>> PhotoFolder::photosToProcess(const std::vector<File>& files,
                                                                 const PhotoLibrary* previous,
                                                                 RollNames& rollNames) const {
  std::vector<std::shared_ptr<Photo>> photos;
  photos.reserve(files.size());
  std::map<std::string, std::int64_t, std::less<>> rollIds;
  rollNames.clear();
  for (const File& file : files) {
    const std::string key = photoKeyForRelativePath(file.relativePath);
    const std::string path = fullPath(file.relativePath);
    std::shared_ptr<Photo> photo = previous ? previous->photoForIPhotoKey(key) : nullptr;
    std::optional<PhotoFileType> type;
    if (!photo || !hashedAsIs(*photo, file, path)) {
      type = contentType(path);
      if (!type) continue;
    }
    const std::string folder = eventOf(file.relativePath);
    auto [roll, added] = rollIds.try_emplace(folder, static_cast<std::int64_t>(rollIds.size() + 1));
    if (added) rollNames[roll->second] = folder;
    if (!photo) photo = std::make_shared<Photo>(key);
    photo->setFromPlist(entryFor(file, path, type, roll->second));
    photos.push_back(std::move(photo));
  }
  return photos;
}

}  // namespace twinlens
