#include "iphoto_library.hpp"

#include <typeinfo>

#include "plist/number_scan.hpp"
#include "shared/logging.hpp"

namespace twinlens::standin {

namespace {

constexpr const char* kImageListKey = "Master Image List";
constexpr const char* kKeyListOwnerLists[] = {"List of Albums", "List of Rolls"};
constexpr const char* kKeyListKey = "KeyList";
constexpr const char* kPhotoCountKey = "PhotoCount";
constexpr std::uint64_t kPhotoIdOffset = 4294967296ull;

std::string textOrEmpty(const PListValue& entry, std::string_view key) {
  const PListValue* value = entry.objectForKey(key);
  const std::string* text = value ? value->textValue() : nullptr;
  return text ? *text : std::string();
}

bool isTextEqualTo(const PListValue& value, const std::string& text) {
  const std::string* own = value.textValue();
  return own && *own == text;
}

// The dictionary of an album or roll with a new key list, and its count moved by `countChange`
// when it has one.
PListValue withKeyList(const PListValue& owner, const PListValue::Array& keys,
                       std::int64_t countChange) {
  PListValue::Dictionary fields = *owner.dictionaryValue();
  fields.insert_or_assign(kKeyListKey, PListValue::array(keys));
  const PListValue* count = owner.objectForKey(kPhotoCountKey);
  if (count && count->integerValue())
    fields.insert_or_assign(kPhotoCountKey,
                            PListValue::integer(*count->integerValue() + countChange));
  return PListValue::dictionary(std::move(fields));
}

std::optional<std::int64_t> integerAt(const PListValue& item, std::string_view key) {
  const PListValue* value = item.objectForKey(key);
  return value ? value->integerValue() : std::nullopt;
}

const std::string* textAt(const PListValue& item, std::string_view key) {
  const PListValue* value = item.objectForKey(key);
  return value ? value->textValue() : nullptr;
}

PListValue membership(const char* list, std::size_t index, std::size_t position) {
  return PListValue::dictionary({{"List", PListValue::text(list)},
                                 {"Index", PListValue::integer(std::int64_t(index))},
                                 {"Position", PListValue::integer(std::int64_t(position))}});
}

PListValue::Dictionary withoutKey(const PListValue::Dictionary& entries, std::string_view key) {
  if (!entries.contains(key)) return entries;
  PListValue::Dictionary::Entries kept;
  kept.reserve(entries.size() - 1);
  for (const auto& entry : entries)
    if (entry.first != key) kept.push_back(entry);
  return PListValue::Dictionary(std::move(kept));
}

AppleEventDescriptor textList(const std::vector<std::string>& texts) {
  std::vector<AppleEventDescriptor> items;
  items.reserve(texts.size());
  for (const std::string& text : texts) items.push_back(AppleEventDescriptor::text(text));
  return AppleEventDescriptor::list(std::move(items));
}

}  // namespace

std::optional<IPhotoLibrary> IPhotoLibrary::fromAlbumData(const PListValue& root,
                                                          ErrorRecord* error) {
  const PListValue::Dictionary* entries = root.dictionaryValue();
  if (!entries) {
    TL_SET_ERROR(error, &typeid(IPhotoLibrary), errorDomain(), kMalformedCatalogueError,
                 "the catalogue is not a dictionary");
    return std::nullopt;
  }
  IPhotoLibrary library;
  library.root_ = *entries;
  if (const PListValue* images = root.objectForKey(kImageListKey)) {
    if (!images->dictionaryValue()) {
      TL_SET_ERROR(error, &typeid(IPhotoLibrary), errorDomain(), kMalformedCatalogueError,
                   "the catalogue's \"%s\" is not a dictionary", kImageListKey);
      return std::nullopt;
    }
    library.hasImageList_ = true;
    for (const auto& [key, entry] : *images->dictionaryValue()) {
      library.images_.emplace_hint(library.images_.end(), key, entry);
      library.keysById_.emplace(photoIdForKey(key), key);
    }
  }
  for (const char* name : kKeyListOwnerLists)
    if (!library.loadKeyLists(name, error)) return std::nullopt;
  if (const PListValue* trash = root.objectForKey(kTrashKey)) {
    if (!trash->arrayValue()) {
      TL_SET_ERROR(error, &typeid(IPhotoLibrary), errorDomain(), kMalformedCatalogueError,
                   "the catalogue's \"%s\" is not an array", kTrashKey);
      return std::nullopt;
    }
    library.trash_ = *trash->arrayValue();
  }
  return library;
}

bool IPhotoLibrary::loadKeyLists(const char* name, ErrorRecord* error) {
  const PListValue* list = root_.contains(name) ? &root_.at(name) : nullptr;
  if (!list) return true;
  if (!list->arrayValue()) {
    TL_SET_ERROR(error, this, errorDomain(), kMalformedCatalogueError,
                 "the catalogue's \"%s\" is not an array", name);
    return false;
  }
  KeyLists& lists = keyLists_[name];
  lists.present = true;
  for (const PListValue& owner : *list->arrayValue()) {
    KeyListOwner loaded{owner, std::nullopt, false};
    const PListValue* keys = owner.objectForKey(kKeyListKey);
    if (keys && keys->arrayValue()) loaded.keys = *keys->arrayValue();
    lists.owners.push_back(std::move(loaded));
  }
  return true;
}

PListValue IPhotoLibrary::albumData() const {
  PListValue::Dictionary root = root_;
  if (hasImageList_)
    root.insert_or_assign(kImageListKey, PListValue::dictionary(PListValue::Dictionary(
                                             images_.begin(), images_.end())));
  for (const auto& [name, lists] : keyLists_) root.insert_or_assign(name, keyListsValue(lists));
  // An empty trash leaves no trace, so that restoring everything gives the catalogue back as it
  // was before anything was trashed.
  if (trash_.empty())
    root = withoutKey(root, kTrashKey);
  else
    root.insert_or_assign(kTrashKey, PListValue::array(trash_));
  return PListValue::dictionary(std::move(root));
}

PListValue IPhotoLibrary::keyListsValue(const KeyLists& lists) const {
  PListValue::Array owners;
  owners.reserve(lists.owners.size());
  for (const KeyListOwner& owner : lists.owners)
    owners.push_back(owner.changed ? withKeyList(owner.original, *owner.keys, owner.countChange)
                                   : owner.original);
  return PListValue::array(std::move(owners));
}

std::uint64_t IPhotoLibrary::photoIdForKey(std::string_view key) {
  return static_cast<std::uint64_t>(std::int64_t{scanInt(key).value_or(0)} +
                                    std::int64_t(kPhotoIdOffset));
}

std::optional<std::string> IPhotoLibrary::keyForPhotoId(std::uint64_t id) const {
  auto found = keysById_.lower_bound({id, std::string()});
  if (found == keysById_.end() || found->first != id) return std::nullopt;
  return found->second;
}

bool IPhotoLibrary::moveToTrash(const std::string& key) {
  auto found = images_.find(key);
  if (found == images_.end()) return false;
  PListValue item =
      PListValue::dictionary({{"Key", PListValue::text(key)},
                              {"Entry", found->second},
                              {"Memberships", PListValue::array(takeMemberships(key))}});
  trash_.push_back(std::move(item));
  keysById_.erase({photoIdForKey(key), key});
  images_.erase(found);
  logInfo("moved photo %s to the trash", key.c_str());
  return true;
}

PListValue::Array IPhotoLibrary::takeMemberships(const std::string& key) {
  PListValue::Array memberships;
  for (const char* name : kKeyListOwnerLists) {
    auto lists = keyLists_.find(name);
    if (lists == keyLists_.end()) continue;
    std::vector<KeyListOwner>& owners = lists->second.owners;
    for (std::size_t index = 0; index < owners.size(); ++index) {
      KeyListOwner& owner = owners[index];
      if (!owner.keys) continue;
      PListValue::Array& keys = *owner.keys;
      // Positions are recorded in ascending order, so that putting them back in that order
      // rebuilds the list as it was.
      std::size_t kept = 0;
      for (std::size_t position = 0; position < keys.size(); ++position) {
        if (isTextEqualTo(keys[position], key)) {
          memberships.push_back(membership(name, index, position));
          --owner.countChange;
          owner.changed = true;
        } else {
          keys[kept++] = std::move(keys[position]);
        }
      }
      keys.erase(keys.begin() + std::ptrdiff_t(kept), keys.end());
    }
  }
  return memberships;
}

std::size_t IPhotoLibrary::restoreTrash() {
  std::size_t restored = 0;
  PListValue::Array kept;
  for (auto item = trash_.rbegin(); item != trash_.rend(); ++item) {
    if (restoreItem(*item))
      ++restored;
    else
      kept.push_back(*item);
  }
  trash_.assign(kept.rbegin(), kept.rend());
  return restored;
}

bool IPhotoLibrary::restoreItem(const PListValue& item) {
  const std::string* key = textAt(item, "Key");
  const PListValue* entry = item.objectForKey("Entry");
  const PListValue* memberships = item.objectForKey("Memberships");
  if (!key || !entry || !entry->dictionaryValue() || !memberships || !memberships->arrayValue()) {
    logWarn("a malformed item of the trash stays there");
    return false;
  }
  if (images_.contains(*key)) {
    logWarn("photo %s is in the library again; its trashed copy stays in the trash", key->c_str());
    return false;
  }
  struct Place {
    KeyListOwner* owner;
    std::size_t position;
  };
  std::vector<Place> places;
  for (const PListValue& place : *memberships->arrayValue()) {
    const std::string* list = textAt(place, "List");
    std::optional<std::int64_t> index = integerAt(place, "Index");
    std::optional<std::int64_t> position = integerAt(place, "Position");
    auto lists = list ? keyLists_.find(*list) : keyLists_.end();
    if (lists == keyLists_.end() || !index || !position || *index < 0 || *position < 0 ||
        std::uint64_t(*index) >= lists->second.owners.size() ||
        !lists->second.owners[std::size_t(*index)].keys) {
      logWarn("photo %s stays in the trash: it names an album or roll that is not there",
              key->c_str());
      return false;
    }
    places.push_back({&lists->second.owners[std::size_t(*index)], std::size_t(*position)});
  }
  for (const Place& place : places) {
    PListValue::Array& keys = *place.owner->keys;
    keys.insert(keys.begin() + std::ptrdiff_t(std::min(place.position, keys.size())),
                PListValue::text(*key));
    ++place.owner->countChange;
    place.owner->changed = true;
  }
  images_.emplace(*key, *entry);
  keysById_.emplace(photoIdForKey(*key), *key);
  hasImageList_ = true;
  logInfo("put photo %s back from the trash", key->c_str());
  return true;
}

AppleEventDescriptor IPhotoLibrary::albumDataAnswer() const {
  std::vector<AppleEventDescriptor> ids, dates;
  std::vector<std::string> imagePaths, originalPaths, thumbPaths, captions, comments;
  for (const auto& [key, entry] : images_) {
    ids.push_back(AppleEventDescriptor::real(static_cast<double>(photoIdForKey(key))));
    const PListValue* date = entry.objectForKey("DateAsTimerInterval");
    dates.push_back(AppleEventDescriptor::real(date ? date->doubleValue().value_or(0) : 0));
    imagePaths.push_back(textOrEmpty(entry, "ImagePath"));
    originalPaths.push_back(textOrEmpty(entry, "OriginalPath"));
    thumbPaths.push_back(textOrEmpty(entry, "ThumbPath"));
    captions.push_back(textOrEmpty(entry, "Caption"));
    comments.push_back(textOrEmpty(entry, "Comment"));
  }
  return AppleEventDescriptor::recordWithUserFields({
      {"_Id", AppleEventDescriptor::list(std::move(ids))},
      {"_ImagePath", textList(imagePaths)},
      {"_OriginalPath", textList(originalPaths)},
      {"_ThumbPath", textList(thumbPaths)},
      {"_Caption", textList(captions)},
      {"_Comment", textList(comments)},
      {"_Date", AppleEventDescriptor::list(std::move(dates))},
  });
}

}  // namespace twinlens::standin
