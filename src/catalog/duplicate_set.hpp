#pragma once

#include <memory>
#include <vector>

#include "catalog/photo.hpp"

namespace twinlens {

// Photos whose SHA-1 texts match, in the order they were added; the first is the one kept.
class DuplicateSet {
 public:
  std::size_t count() const { return photos_.size(); }
  void addPhoto(std::shared_ptr<Photo> photo) { photos_.push_back(std::move(photo)); }
  const std::vector<std::shared_ptr<Photo>>& orderedPhotos() const { return photos_; }

 private:
  std::vector<std::shared_ptr<Photo>> photos_;
};

}  // namespace twinlens
