#include "catalog/duplicate_results.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "shared/text_format.hpp"

namespace twinlens {

namespace {

// A record's SHA-1 text as the tables key it: the record's own text, which stays put while the
// library is weeded, with its hash worked out once. Empty when the record has no text to match by.
struct Text {
  const std::string* text = nullptr;
  std::size_t hash = 0;
  explicit operator bool() const { return text != nullptr; }
  bool operator==(const Text& other) const { return hash == other.hash && *text == *other.text; }
};

// SHA-1 texts are uniformly spread hex digits, so their first sixteen bytes hash them as well as
// all forty would; other texts take the standard hash.
std::size_t hashOf(std::string_view text) {
  if (text.size() < 16) return std::hash<std::string_view>{}(text);
  std::uint64_t a, b;
  std::memcpy(&a, text.data(), 8);
  std::memcpy(&b, text.data() + 8, 8);
  const std::uint64_t mixed = (a ^ (b * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
  return static_cast<std::size_t>(mixed ^ (mixed >> 32));
}

struct Entry;

// The first unmatched record for each text, in an open-addressing table sized once for all the
// texts: a lookup costs one visit to one slot of a flat array, where a node-based map costs two
// or three scattered reads.
class TextTable {
 public:
  // At most half full, so probes stay short.
  explicit TextTable(std::size_t capacity) : slots_(std::bit_ceil(2 * capacity + 1)) {}

  const Entry* find(const Text& text) { return slot(text).entry; }
  // Records `entry` for `text` unless an earlier one holds it.
  void tryEmplace(const Text& text, const Entry* entry) {
    Slot& found = slot(text);
    if (!found.key) found = {text.hash, &text, entry};
  }

 private:
  // The hash is kept beside the key, so a probe reads the key's text only when the hashes agree.
  struct Slot {
    std::size_t hash = 0;
    const Text* key = nullptr;
    const Entry* entry = nullptr;
  };

  Slot& slot(const Text& text) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = text.hash & mask;; at = (at + 1) & mask) {
      Slot& candidate = slots_[at];
      if (!candidate.key || (candidate.hash == text.hash && *candidate.key == text))
        return candidate;
    }
  }

  std::vector<Slot> slots_;
};

// The SHA-1 text of no bytes (an empty edited file, a JPEG with empty image data) says nothing
// about the picture, so it matches nothing.
constexpr std::string_view kSHA1OfNoBytes = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

Text comparable(const std::optional<std::string>& sha1) {
  if (!sha1 || *sha1 == kSHA1OfNoBytes) return {};
  return {&*sha1, hashOf(*sha1)};
}

// One record with the texts it can match by. The records are read into this list first, in a
// loop with no lookups, so the reads of records scattered over memory overlap rather than
// waiting one after another.
struct Entry {
  const std::shared_ptr<Photo>* photo;
  Text original;
  Text modified;
};

std::vector<Entry> entriesOf(const PhotoLibrary& library) {
  std::vector<Entry> entries;
  entries.reserve(library.count());
  // The library's map is ordered by byte-wise key comparison: the text order weeding needs.
  for (const auto& [key, photo] : library.photosByIPhotoKey())
    entries.push_back(
        {&photo, comparable(photo->originalSHA1()), comparable(photo->modifiedSHA1())});
  return entries;
}

// The first set, in creation order, whose texts include a given SHA-1 text. Sets only grow, so
// keeping the smallest set index per text answers "first set that contains it" without walking
// every set for every duplicate.
class SetIndex {
 public:
  std::optional<std::size_t> find(const Text& sha1) const {
    auto it = first_.find(sha1);
    if (it == first_.end()) return std::nullopt;
    return it->second;
  }
  void add(const Entry& entry, std::size_t set) {
    for (const Text& sha1 : {entry.original, entry.modified}) {
      if (!sha1) continue;
      auto [it, inserted] = first_.try_emplace(sha1, set);
      if (!inserted) it->second = std::min(it->second, set);
    }
  }

 private:
  struct Hash {
    std::size_t operator()(const Text& text) const noexcept { return text.hash; }
  };
  // Only the texts of duplicates and their kept photos come here: a map that grows as needed.
  std::unordered_map<Text, std::size_t, Hash> first_;
};

}  // namespace

std::optional<std::string> eventNameWithRollId(const RollNames& rollNamesById,
                                               std::uint64_t rollId) {
  if (rollId > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  auto it = rollNamesById.find(static_cast<std::int64_t>(rollId));
  if (it == rollNamesById.end()) return std::nullopt;
  return it->second;
}

std::string duplicatesCountDescription(std::uint64_t count, std::string_view groupingSeparator) {
  return groupedDigits(count, groupingSeparator) + " duplicate" + pluralSuffix(count);
}

DuplicateResults DuplicateResults::weedDuplicates(const PhotoLibrary& library,
                                                  const RollNames& rollNamesById,
                                                  const KeepRule* keepRule) {
  DuplicateResults results;
  results.groupSets(library);
  if (keepRule) results.keepBy(*keepRule);
  results.layOutItems(rollNamesById);
  return results;
}

// The lookup tables live only while the sets are made, so the items laid out next reuse their
// memory.
void DuplicateResults::groupSets(const PhotoLibrary& library) {
  const std::vector<Entry> entries = entriesOf(library);
  std::size_t texts = 0;
  for (const Entry& entry : entries)
    texts += static_cast<bool>(entry.original) + static_cast<bool>(entry.modified);
  TextTable unmatched(texts);
  SetIndex setIndex;
  for (const Entry& entry : entries) {
    const auto& [photo, o, m] = entry;
    const Text* matched = nullptr;
    const Entry* match = nullptr;
    if (o && (match = unmatched.find(o))) matched = &o;
    if (!match && m && (match = unmatched.find(m))) matched = &m;
    if (!match) {
      if (o) unmatched.tryEmplace(o, &entry);
      if (m) unmatched.tryEmplace(m, &entry);
      continue;
    }
    duplicatePhotos_.push_back(*photo);
    std::optional<std::size_t> set = setIndex.find(*matched);
    if (!set) {
      set = sets_.size();
      sets_.emplace_back();
      const Entry& kept = *match;
      sets_[*set].addPhoto(*kept.photo);
      setIndex.add(kept, *set);
    }
    sets_[*set].addPhoto(*photo);
    setIndex.add(entry, *set);
  }
}

void DuplicateResults::layOutItems(const RollNames& rollNamesById) {
  // Sized once: a large library's items would otherwise be copied while the list grows, both
  // copies held at once.
  std::size_t items = 0;
  for (const DuplicateSet& set : sets_) items += set.count() < 2 ? 0 : set.count();
  thumbnails_.reserve(items);
  duplicateGroups_.reserve(sets_.size());
  for (const DuplicateSet& set : sets_) {
    if (set.count() < 2) continue;
    std::size_t start = thumbnails_.size();
    for (const std::shared_ptr<Photo>& photo : set.orderedPhotos())
      thumbnails_.emplace_back(photo, eventNameWithRollId(rollNamesById, photo->rollId()));
    duplicateGroups_.push_back({start, thumbnails_.size() - start});
  }
}

void DuplicateResults::keepBy(const KeepRule& rule) {
  duplicatePhotos_.clear();
  for (DuplicateSet& set : sets_) {
    std::vector<std::shared_ptr<Photo>> photos = set.orderedPhotos();
    std::stable_sort(photos.begin(), photos.end(),
                     [&rule](const std::shared_ptr<Photo>& a, const std::shared_ptr<Photo>& b) {
                       return rule.keptBefore(*a, *b);
                     });
    DuplicateSet ordered;
    for (const std::shared_ptr<Photo>& photo : photos) ordered.addPhoto(photo);
    set = std::move(ordered);
    duplicatePhotos_.insert(duplicatePhotos_.end(), photos.begin() + 1, photos.end());
  }
}

std::vector<std::size_t> DuplicateResults::duplicatesIndexSet() const {
  std::vector<std::size_t> indexes;
  for (const DuplicateGroup& group : duplicateGroups_)
    for (std::size_t i = group.location + 1; i < group.location + group.length; ++i)
      indexes.push_back(i);
  return indexes;
}

std::vector<std::shared_ptr<Photo>> DuplicateResults::duplicatePhotosNotInAlbum(
    const std::set<std::string>& albumKeys) const {
  std::vector<std::shared_ptr<Photo>> missing;
  for (const std::shared_ptr<Photo>& photo : duplicatePhotos_)
    if (!albumKeys.contains(photo->iPhotoKey())) missing.push_back(photo);
  return missing;
}

}  // namespace twinlens
