#include "catalog/thumbnail.hpp"

#include <sys/stat.h>

#include "shared/text_format.hpp"

namespace twinlens {

Thumbnail::Thumbnail(std::string iPhotoKey, std::optional<std::string> path,
                     std::optional<std::string> title, std::optional<std::string> subtitle,
                     std::optional<std::string> imagePath)
    : subtitle_(std::move(subtitle)) {
  auto photo = std::make_shared<Photo>(std::move(iPhotoKey));
  PhotoEntry entry;
  entry.imagePath = imagePath;
  entry.thumbPath = path;
  entry.caption = title;
  photo->setFromEntry(entry);
  photo_ = std::move(photo);
}

std::optional<std::string> Thumbnail::imageRepresentation() const {
  struct stat info;
  if (!path() || ::stat(path()->c_str(), &info) != 0) return std::nullopt;
  return path();
}

std::string DuplicateGroup::description() const {
  return formatText("<DuplicateGroup: loc=%zu len=%zu>", location, length);
}

}  // namespace twinlens
