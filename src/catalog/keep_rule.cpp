#include "catalog/keep_rule.hpp"

#include <tuple>

#include "io/file_helpers.hpp"

namespace twinlens {

namespace {

std::string_view pathOf(const Photo& photo) {
  return photo.originalPath() ? std::string_view(*photo.originalPath()) : std::string_view();
}

auto age(const Photo& photo) {
  return std::tuple(photo.originalMtime_sec(), photo.originalMtime_nsec());
}

}  // namespace

std::optional<KeepRule> KeepRule::fromText(std::string_view text) {
  KeepRule rule;
  constexpr std::string_view kUnder = "under:";
  if (text == "oldest") return rule;
  if (text == "newest") {
    rule.kind_ = Kind::newest;
  } else if (text == "largest") {
    rule.kind_ = Kind::largest;
  } else if (text.starts_with(kUnder) && text.size() > kUnder.size()) {
    rule.kind_ = Kind::under;
    rule.folder_ = absoluteNormalPath(text.substr(kUnder.size()));
  } else {
    return std::nullopt;
  }
  return rule;
}

bool KeepRule::isUnder(const Photo& photo) const {
  std::string_view path = pathOf(photo);
  // The root folder normalises to "/", which already ends in the separator.
  const bool root = folder_ == "/";
  return path.starts_with(folder_) && (root || path.substr(folder_.size()).starts_with('/'));
}

bool KeepRule::keptBefore(const Photo& a, const Photo& b) const {
  switch (kind_) {
    case Kind::newest:
      if (age(a) != age(b)) return age(a) > age(b);
      break;
    case Kind::largest:
      if (a.originalFileSize() != b.originalFileSize())
        return a.originalFileSize() > b.originalFileSize();
      break;
    case Kind::under:
      if (isUnder(a) != isUnder(b)) return isUnder(a);
      break;
    case Kind::oldest:
      break;
  }
  if (age(a) != age(b)) return age(a) < age(b);
  if (pathOf(a).size() != pathOf(b).size()) return pathOf(a).size() < pathOf(b).size();
  return pathOf(a) < pathOf(b);
}

}  // namespace twinlens
