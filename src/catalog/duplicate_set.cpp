#include "catalog/duplicate_set.hpp"

namespace twinlens {

void DuplicateSet::addPhoto(std::shared_ptr<Photo> photo) {
  if (photo->originalSHA1()) sha1s_.insert(*photo->originalSHA1());
  if (photo->modifiedSHA1()) sha1s_.insert(*photo->modifiedSHA1());
  photos_.push_back(std::move(photo));
}

}  // namespace twinlens
