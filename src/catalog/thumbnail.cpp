#include "catalog/thumbnail.hpp"

#include <sys/stat.h>

#include "shared/text_format.hpp"

namespace twinlens {

std::optional<std::string> Thumbnail::imageRepresentation() const {
  struct stat info;
  if (!path_ || ::stat(path_->c_str(), &info) != 0) return std::nullopt;
  return path_;
}

std::string DuplicateGroup::description() const {
  return formatText("<DuplicateGroup: loc=%zu len=%zu>", location, length);
}

}  // namespace twinlens
