#pragma once

#include <memory>
#include <vector>

#include "catalog/photo.hpp"

namespace twinlens {

// Why one photo stands in its duplicate set.
struct MatchReason {
  // True when the photo's original SHA-1 text is one another photo of the set carries; false
  // when only its modified one is.
  bool byOriginal = true;
  // True when the file that matched (original or modified, as byOriginal says) is byte for byte
  // the kept photo's matching file; always true for the kept photo itself.
  bool sameFile = false;
};

// The reasons for the photos of one set, in its order, the kept photo first. Files are compared
// only when their SHA-1 texts and recorded sizes are equal, and then read to their first
// difference; a file that cannot be read is not the same file.
std::vector<MatchReason> explainMatches(const std::vector<std::shared_ptr<Photo>>& set);

}  // namespace twinlens
