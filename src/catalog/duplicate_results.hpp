#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/duplicate_set.hpp"
#include "catalog/keep_rule.hpp"
#include "catalog/photo_library.hpp"
#include "catalog/thumbnail.hpp"

namespace twinlens {

// Roll (event) names of the catalogue by roll id.
using RollNames = std::map<std::int64_t, std::string>;

// The roll name for a photo's roll id, comparing the numbers by value; nullopt when unnamed.
std::optional<std::string> eventNameWithRollId(const RollNames& rollNamesById,
                                               std::uint64_t rollId);

// "%@ duplicate%@": the count (taken as an unsigned 32-bit value) with its digits grouped by
// threes with `groupingSeparator`, then "duplicate" or "duplicates".
std::string duplicatesCountDescription(std::uint64_t count, std::string_view groupingSeparator);

// What one weeding of a library found: the duplicate photos, and the browser's items laid out
// set after set with a group per set, the kept photo heading each group.
class DuplicateResults {
 public:
  // Walks the records in ascending text order of their keys (10 before 9). A record whose
  // original SHA-1 (tried first) or modified SHA-1 was carried by an earlier record that matched
  // nothing is a duplicate; it joins the first set, in creation order, that holds the matched
  // text, or starts a set headed by that earlier record. The SHA-1 text of no bytes is taken as
  // absent: it neither matches nor is matched. With a `keepRule` (folders) each set is then
  // ordered by it, its first photo kept, and the duplicates listed set after set.
  static DuplicateResults weedDuplicates(const PhotoLibrary& library,
                                         const RollNames& rollNamesById,
                                         const KeepRule* keepRule = nullptr);

  const std::vector<std::shared_ptr<Photo>>& duplicatePhotos() const { return duplicatePhotos_; }
  const std::vector<Thumbnail>& thumbnails() const { return thumbnails_; }
  const std::vector<DuplicateGroup>& duplicateGroups() const { return duplicateGroups_; }
  const std::vector<DuplicateSet>& duplicateSets() const { return sets_; }

  // Item indexes of every duplicate: each group's range but its first item, ascending.
  std::vector<std::size_t> duplicatesIndexSet() const;
  // The duplicates, in order, that the album named after the application does not hold yet.
  std::vector<std::shared_ptr<Photo>> duplicatePhotosNotInAlbum(
      const std::set<std::string>& albumKeys) const;

 private:
  void groupSets(const PhotoLibrary& library);
  void keepBy(const KeepRule& rule);
  void layOutItems(const RollNames& rollNamesById);

  std::vector<std::shared_ptr<Photo>> duplicatePhotos_;
  std::vector<DuplicateSet> sets_;
  std::vector<Thumbnail> thumbnails_;
  std::vector<DuplicateGroup> duplicateGroups_;
};

}  // namespace twinlens
