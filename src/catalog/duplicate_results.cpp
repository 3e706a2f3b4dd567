#include "catalog/duplicate_results.hpp"

#include <algorithm>
#include <unordered_map>

#include "shared/text_format.hpp"

namespace twinlens {

namespace {

// Both tables are keyed by views of the records' own SHA-1 texts, which stay put while the
// library is weeded, so no text is copied.
using TextView = std::string_view;

// The first set, in creation order, whose texts include a given SHA-1 text. Sets only grow, so
// keeping the smallest set index per text answers "first set that contains it" without walking
// every set for every duplicate.
class SetIndex {
 public:
  std::optional<std::size_t> find(TextView sha1) const {
    auto it = first_.find(sha1);
    if (it == first_.end()) return std::nullopt;
    return it->second;
  }
  void add(const Photo& photo, std::size_t set) {
    for (const auto* sha1 : {&photo.originalSHA1(), &photo.modifiedSHA1()}) {
      if (!*sha1) continue;
      auto [it, inserted] = first_.try_emplace(**sha1, set);
      if (!inserted) it->second = std::min(it->second, set);
    }
  }

 private:
  std::unordered_map<TextView, std::size_t> first_;
};

// The SHA-1 text of no bytes (an empty edited file, a JPEG with empty image data) says nothing
// about the picture, so it matches nothing.
constexpr std::string_view kSHA1OfNoBytes = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

const std::string* comparable(const std::optional<std::string>& sha1) {
  return sha1 && *sha1 != kSHA1OfNoBytes ? &*sha1 : nullptr;
}

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
  std::unordered_map<TextView, const std::shared_ptr<Photo>*> unmatched;
  unmatched.reserve(library.count() * 2);
  SetIndex setIndex;
  // The library's map is ordered by byte-wise key comparison: the text order weeding needs.
  for (const auto& [key, photo] : library.photosByIPhotoKey()) {
    const std::string* o = comparable(photo->originalSHA1());
    const std::string* m = comparable(photo->modifiedSHA1());
    auto match = unmatched.end();
    if (o) match = unmatched.find(*o);
    if (match == unmatched.end() && m) match = unmatched.find(*m);
    if (match == unmatched.end()) {
      if (o) unmatched.try_emplace(*o, &photo);
      if (m) unmatched.try_emplace(*m, &photo);
      continue;
    }
    const TextView matched = match->first;
    results.duplicatePhotos_.push_back(photo);
    std::optional<std::size_t> set = setIndex.find(matched);
    if (!set) {
      set = results.sets_.size();
      results.sets_.emplace_back();
      const std::shared_ptr<Photo>& kept = *match->second;
      results.sets_[*set].addPhoto(kept);
      setIndex.add(*kept, *set);
    }
    results.sets_[*set].addPhoto(photo);
    setIndex.add(*photo, *set);
  }
  if (keepRule) results.keepBy(*keepRule);
  // Sized once: a large library's items would otherwise be copied while the list grows, both
  // copies held at once.
  std::size_t items = 0;
  for (const DuplicateSet& set : results.sets_) items += set.count() < 2 ? 0 : set.count();
  results.thumbnails_.reserve(items);
  results.duplicateGroups_.reserve(results.sets_.size());
  for (const DuplicateSet& set : results.sets_) {
    if (set.count() < 2) continue;
    std::size_t start = results.thumbnails_.size();
    for (const std::shared_ptr<Photo>& photo : set.orderedPhotos())
      results.thumbnails_.emplace_back(photo, eventNameWithRollId(rollNamesById, photo->rollId()));
    results.duplicateGroups_.push_back({start, results.thumbnails_.size() - start});
  }
  return results;
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
