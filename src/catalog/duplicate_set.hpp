#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalog/photo.hpp"

namespace twinlens {

// Photos whose SHA-1 texts match, in the order they were added; the first is the one kept.
class DuplicateSet {
 public:
  std::size_t count() const { return photos_.size(); }
  // Kept for callers that match against a set; the grouping keeps its own map of texts.
  bool containsSHA1(const std::string& sha1) const { return sha1s_.contains(sha1); }
  // Appends the photo and takes in its present SHA-1 texts.
  void addPhoto(std::shared_ptr<Photo> photo);
  const std::vector<std::shared_ptr<Photo>>& orderedPhotos() const { return photos_; }
  // Kept with containsSHA1 for callers that match against a set.
  const std::unordered_set<std::string>& sha1s() const { return sha1s_; }

 private:
  std::unordered_set<std::string> sha1s_;
  std::vector<std::shared_ptr<Photo>> photos_;
};

}  // namespace twinlens
