#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalog/photo.hpp"

namespace twinlens {

// Which photo of a folder's duplicate set is kept, judged by each record's original file as it
// was hashed (path, size, modification time): by default the oldest file; or the newest, the
// largest, or the one under a given folder. Ties go to the oldest file, then the shorter path,
// then the path first in byte order, so the kept photo is always the same for the same files.
class KeepRule {
 public:
  enum class Kind { oldest, newest, largest, under };

  KeepRule() = default;
  // "oldest", "newest", "largest" or "under:DIR" (DIR not empty, made absolute and normalised);
  // nullopt for anything else.
  static std::optional<KeepRule> fromText(std::string_view text);

  Kind kind() const { return kind_; }
  // The folder of `under`, else empty.
  const std::string& folder() const { return folder_; }
  // True when `a` is to be kept rather than `b`.
  bool keptBefore(const Photo& a, const Photo& b) const;

 private:
  bool isUnder(const Photo& photo) const;

  Kind kind_ = Kind::oldest;
  std::string folder_;
};

}  // namespace twinlens
