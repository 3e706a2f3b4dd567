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
  void addPhoto(std::shared_ptr<Photo> photo) { photos_.push_back(std::move(photo)); }
  const std::vector<std::shared_ptr<Photo>>& orderedPhotos() const { return photos_; }
  // Kept for callers that match against a set: every present original and modified SHA-1 text of
  // its records. The grouping keeps its own map of texts, so they are read from the records rather
  // than stored a second time.
  std::unordered_set<std::string> sha1s() const;
  bool containsSHA1(const std::string& sha1) const;

 private:
  std::vector<std::shared_ptr<Photo>> photos_;
};

}  // namespace twinlens
