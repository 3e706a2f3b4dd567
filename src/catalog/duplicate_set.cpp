#include "catalog/duplicate_set.hpp"

#include <algorithm>

namespace twinlens {

std::unordered_set<std::string> DuplicateSet::sha1s() const {
  std::unordered_set<std::string> texts;
  for (const auto& photo : photos_) {
    if (photo->originalSHA1()) texts.insert(*photo->originalSHA1());
    if (photo->modifiedSHA1()) texts.insert(*photo->modifiedSHA1());
  }
  return texts;
}

bool DuplicateSet::containsSHA1(const std::string& sha1) const {
  return std::any_of(photos_.begin(), photos_.end(), [&sha1](const auto& photo) {
    return photo->originalSHA1() == sha1 || photo->modifiedSHA1() == sha1;
  });
}

}  // namespace twinlens
