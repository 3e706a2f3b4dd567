#pragma once

#include <string>

namespace twinlens::standin::testing {

// The texts Twinlens sends, character for character.
inline const std::string kQuitText =
    "tell application \"iPhoto\"\n        quit\n        end tell\n";
inline const std::string kIndent(30, ' ');
inline const std::string kSelectLibraryAlbumText = kIndent + "tell application \"iPhoto\"\n" +
                                                   kIndent + "select photo library album\n" +
                                                   kIndent + "end tell\n";
inline const std::string kAlbumDataQueryText =
    kIndent + "tell application \"iPhoto\"\n" + kIndent + "select photo library album\n" + kIndent +
    "get {_Id:id, _ImagePath:image path, _OriginalPath:original path, _ThumbPath:thumbnail path, "
    "_Caption:title, _Comment:comment, _Date:date} of every photo in photo library album\n" +
    kIndent + "end tell\n";

inline std::string selectPhotoText(const std::string& id) {
  return "tell application \"iPhoto\"\nactivate\nselect photo library album\nselect photo id " +
         id + "\nend tell\n";
}

inline std::string removeText(std::initializer_list<std::string> ids) {
  std::string text = "tell application \"iPhoto\"\n";
  for (const std::string& id : ids) text += "remove photo id " + id + "\n";
  return text + "end tell\n";
}

}  // namespace twinlens::standin::testing
