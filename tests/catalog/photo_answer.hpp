#pragma once

#include <string>
#include <vector>

#include "platform/apple_event_descriptor.hpp"

namespace twinlens::testing {

// iPhoto's answer to the album data query: one list per field, one element per photo.
struct PhotoAnswer {
  using Descriptor = AppleEventDescriptor;
  std::vector<Descriptor> ids, imagePaths, originalPaths, thumbPaths, captions, comments;

  void add(Descriptor id, const std::string& image, const std::string& original,
           const std::string& caption = "caption", Descriptor comment = Descriptor::text("")) {
    ids.push_back(std::move(id));
    imagePaths.push_back(Descriptor::text(image));
    originalPaths.push_back(Descriptor::text(original));
    thumbPaths.push_back(Descriptor::text(image + ".thumb"));
    captions.push_back(Descriptor::text(caption));
    comments.push_back(std::move(comment));
  }
  Descriptor record() const {
    return Descriptor::recordWithUserFields({
        {"_Id", Descriptor::list(ids)},
        {"_ImagePath", Descriptor::list(imagePaths)},
        {"_OriginalPath", Descriptor::list(originalPaths)},
        {"_ThumbPath", Descriptor::list(thumbPaths)},
        {"_Caption", Descriptor::list(captions)},
        {"_Comment", Descriptor::list(comments)},
        {"_Date", Descriptor::list({})},
    });
  }
};

}  // namespace twinlens::testing
