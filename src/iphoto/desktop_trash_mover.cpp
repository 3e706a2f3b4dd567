#include "iphoto/desktop_trash_mover.hpp"

#include <algorithm>
#include <set>

#include "catalog/trash_guard.hpp"
#include "platform/desktop_trash.hpp"

namespace twinlens {

MoveFileToTrashCommand::MoveFileToTrashCommand(std::shared_ptr<Photo> duplicate,
                                               std::shared_ptr<Photo> kept)
    : duplicate_(std::move(duplicate)), kept_(std::move(kept)) {}

bool MoveFileToTrashCommand::execute(ErrorRecord* error) {
  const std::string path = duplicate_->originalPath().value_or("(null)");
  if (!kept_) {
    TL_SET_ERROR(error, this, TrashGuard::errorDomain(), kTrashGuardNotMatchingError,
                 "%s is in no set of duplicates", path.c_str());
    return false;
  }
  return TrashGuard::mayMoveDuplicate(*duplicate_, *kept_, error) &&
         DesktopTrash::moveToTrash(path, error);
}

std::shared_ptr<AppleScript> MoveFileToTrashCommand::copy() const {
  return std::make_shared<MoveFileToTrashCommand>(duplicate_, kept_);
}

std::string MoveFileToTrashCommand::description() const {
  return "<MoveFileToTrashCommand " + duplicate_->originalPath().value_or("(null)") + ">";
}

DesktopTrashMover::DesktopTrashMover(const std::vector<DuplicateSet>& sets) {
  for (const DuplicateSet& set : sets) {
    if (set.orderedPhotos().empty()) continue;
    for (const std::shared_ptr<Photo>& photo : set.orderedPhotos())
      setOfPhoto_[photo.get()] = sets_.size();
    sets_.push_back(set.orderedPhotos());
  }
}

ScriptRunner::Scripts DesktopTrashMover::commands(
    const std::vector<std::shared_ptr<Photo>>& photos) const {
  std::set<const Photo*> chosen;
  for (const std::shared_ptr<Photo>& photo : photos) chosen.insert(photo.get());
  auto keptOf = [&](const std::vector<std::shared_ptr<Photo>>& set) {
    auto left = std::find_if(set.begin(), set.end(),
                             [&](const auto& photo) { return !chosen.contains(photo.get()); });
    return left == set.end() ? set.front() : *left;
  };
  ScriptRunner::Scripts scripts;
  scripts.reserve(photos.size());
  for (const std::shared_ptr<Photo>& photo : photos) {
    auto set = setOfPhoto_.find(photo.get());
    std::shared_ptr<Photo> kept = set == setOfPhoto_.end() ? nullptr : keptOf(sets_[set->second]);
    if (kept != photo) scripts.push_back(std::make_shared<MoveFileToTrashCommand>(photo, kept));
  }
  return scripts;
}

std::size_t DesktopTrashMover::photosMovedBy(const AppleScript& command) const {
  return dynamic_cast<const MoveFileToTrashCommand*>(&command) ? 1 : 0;
}

}  // namespace twinlens
