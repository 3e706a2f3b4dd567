#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace twinlens {

// One item of the duplicate browser: a photo's key, the path of its thumbnail image, the two
// lines shown under it, and the path of the photo itself (whose file type the browser shows when
// the thumbnail cannot be). Immutable.
class Thumbnail {
 public:
  Thumbnail(std::string iPhotoKey, std::optional<std::string> path,
            std::optional<std::string> title, std::optional<std::string> subtitle,
            std::optional<std::string> imagePath = std::nullopt)
      : iPhotoKey_(std::move(iPhotoKey)),
        path_(std::move(path)),
        title_(std::move(title)),
        subtitle_(std::move(subtitle)),
        imagePath_(std::move(imagePath)) {}

  const std::string& iPhotoKey() const { return iPhotoKey_; }
  const std::optional<std::string>& path() const { return path_; }
  // The item's identity for the browser's image cache: its path.
  const std::optional<std::string>& imageUID() const { return path_; }
  // The path when a file exists there now; nullopt lets the browser draw an empty cell.
  std::optional<std::string> imageRepresentation() const;
  const std::optional<std::string>& imageTitle() const { return title_; }
  const std::optional<std::string>& imageSubtitle() const { return subtitle_; }
  const std::optional<std::string>& imagePath() const { return imagePath_; }
  // Kept for a browser that asks every item for these; ours draws every item the same way.
  int imageVersion() const { return 1; }
  bool isSelectable() const { return true; }

 private:
  std::string iPhotoKey_;
  std::optional<std::string> path_;
  std::optional<std::string> title_;
  std::optional<std::string> subtitle_;
  std::optional<std::string> imagePath_;
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
