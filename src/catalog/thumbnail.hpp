#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "catalog/photo.hpp"

namespace twinlens {

// One item of the duplicate browser: a photo's key, the path of its thumbnail image, the two
// lines shown under it, and the path of the photo itself (whose file type the browser shows when
// the thumbnail cannot be). Immutable; all but the second line are the photo record's own, which
// a scan no longer changes, so a library's items copy none of its texts.
class Thumbnail {
 public:
  Thumbnail(std::shared_ptr<const Photo> photo, std::optional<std::string> subtitle)
      : photo_(std::move(photo)), subtitle_(std::move(subtitle)) {}
  Thumbnail(std::string iPhotoKey, std::optional<std::string> path,
            std::optional<std::string> title, std::optional<std::string> subtitle,
            std::optional<std::string> imagePath = std::nullopt);

  const std::string& iPhotoKey() const { return photo_->iPhotoKey(); }
  const std::optional<std::string>& path() const { return photo_->thumbPath(); }
  // The item's identity for the browser's image cache: its path.
  const std::optional<std::string>& imageUID() const { return path(); }
  // The path when a file exists there now; nullopt lets the browser draw an empty cell.
  std::optional<std::string> imageRepresentation() const;
  const std::optional<std::string>& imageTitle() const { return photo_->caption(); }
  const std::optional<std::string>& imageSubtitle() const { return subtitle_; }
  const std::optional<std::string>& imagePath() const { return photo_->imagePath(); }
  // Kept for a browser that asks every item for these; ours draws every item the same way.
  int imageVersion() const { return 1; }
  bool isSelectable() const { return true; }

 private:
  std::shared_ptr<const Photo> photo_;
  std::optional<std::string> subtitle_;
};

// The items of one duplicate set within the browser's flat list of items.
struct DuplicateGroup {
  std::size_t location = 0;
  std::size_t length = 0;

  // "<DuplicateGroup: loc=%lu len=%lu>"
  std::string description() const;
  bool operator==(const DuplicateGroup&) const = default;
};

}  // namespace twinlens
