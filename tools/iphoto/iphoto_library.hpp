#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/apple_event_descriptor.hpp"
#include "platform/plist_value.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// Where the stand-in keeps its trash inside the catalogue, so that it survives restarts. Each
// item is a dictionary: "Key" (the photo key), "Entry" (its entry of the image list) and
// "Memberships", one dictionary per place the key held in a key list: "List" ("List of Albums"
// or "List of Rolls"), "Index" (of the album or roll in that list) and "Position" (in its
// "KeyList"). Items are in the order the photos were trashed; an empty trash is left out.
inline constexpr const char* kTrashKey = "iPhoto Stand-in Trash";

// The photo library as the stand-in holds it in memory: the catalogue tree of "AlbumData.xml"
// with its image list, albums and rolls open for change. Every key it does not use is kept with
// its value as it was read, and a catalogue that nothing changed gives back an equal tree.
//
// A photo's scripting id is its key read as a signed 32-bit number plus 4294967296.
class IPhotoLibrary {
 public:
  // Fails with errorDomain() -1 when the root is not a dictionary, or one of the parts the
  // stand-in changes is of the wrong kind: the image list not a dictionary, the album list, the
  // roll list or the trash not an array.
  static std::optional<IPhotoLibrary> fromAlbumData(const PListValue& root,
                                                    ErrorRecord* error = nullptr);

  // The catalogue as it stands now.
  PListValue albumData() const;

  static std::uint64_t photoIdForKey(std::string_view key);
  // The key of the photo in the image list with `id`; where two keys give one id, the first in
  // key order.
  std::optional<std::string> keyForPhotoId(std::uint64_t id) const;
  std::size_t photoCount() const { return images_.size(); }
  bool containsPhotoWithKey(const std::string& key) const { return images_.contains(key); }
  std::size_t trashCount() const { return trash_.size(); }

  // Moves the photo out of the image list and every album's and roll's "KeyList" (lowering its
  // "PhotoCount") into the trash. False when there is no such photo.
  bool moveToTrash(const std::string& key);
  // Puts every trashed photo back, newest first, where it was: its entry, and its key at its
  // old positions with the counts raised again. A trash item that is malformed, or whose key is
  // in the image list again, stays in the trash with a warning. Returns how many came back.
  std::size_t restoreTrash();

  // The answer to the album-data query: a record whose user fields "_Id" ('doub' ids),
  // "_ImagePath", "_OriginalPath" ("" for a photo with no original), "_ThumbPath", "_Caption",
  // "_Comment" (texts) and "_Date" ('doub' seconds since 2001) each list every photo, in key
  // order.
  AppleEventDescriptor albumDataAnswer() const;

  static const char* errorDomain() { return "IPhotoLibraryErrorDomain"; }
  // Its one code: the catalogue is not shaped as iPhoto writes it.
  static constexpr std::int32_t kMalformedCatalogueError = -1;

 private:
  // An album or a roll, or whatever else its list holds; only a dictionary with an array under
  // "KeyList" has `keys`.
  struct KeyListOwner {
    PListValue original;
    std::optional<PListValue::Array> keys;
    bool changed = false;
    // How far an integer "PhotoCount" has moved since it was read.
    std::int64_t countChange = 0;
  };
  struct KeyLists {
    bool present = false;
    std::vector<KeyListOwner> owners;
  };

  IPhotoLibrary() = default;
  bool loadKeyLists(const char* name, ErrorRecord* error);
  PListValue keyListsValue(const KeyLists& lists) const;
  PListValue::Array takeMemberships(const std::string& key);
  bool restoreItem(const PListValue& item);

  PListValue::Dictionary root_;
  bool hasImageList_ = false;
  std::map<std::string, PListValue> images_;
  std::map<std::string, KeyLists> keyLists_;
  PListValue::Array trash_;
  // Ordered so that the first key of an id is the first in key order.
  std::set<std::pair<std::uint64_t, std::string>> keysById_;
};

}  // namespace twinlens::standin
