#include "app/folder_trash_mover.hpp"

#include <algorithm>

#include "catalog/cataloger.hpp"
#include "catalog/trash_guard.hpp"
#include "platform/desktop_trash.hpp"

namespace twinlens {

bool DesktopTrashCommand::execute(ErrorRecord* error) {
  if (!TrashGuard::mayMoveDuplicate(*duplicate_, *kept_, error)) return false;
  const std::optional<std::string>& original = duplicate_->originalPath();
  if (original && !DesktopTrash::moveToTrash(*original, error)) return false;
  const std::optional<std::string>& modified = duplicate_->modifiedPath();
  return !modified || DesktopTrash::moveToTrash(*modified, error);
}

std::shared_ptr<AppleScript> DesktopTrashCommand::copy() const {
  return std::make_shared<DesktopTrashCommand>(duplicate_, kept_);
}

std::string DesktopTrashCommand::description() const {
  return "<DesktopTrashCommand: " + duplicate_->originalPath().value_or("(null)") + ">";
}

ScriptRunner::Scripts FolderTrashMover::commands(
    const std::vector<std::shared_ptr<Photo>>& photos) const {
  std::set<std::string> keys;
  for (const std::shared_ptr<Photo>& photo : photos) keys.insert(photo->iPhotoKey());
  return commandsForKeys(keys);
}

ScriptRunner::Scripts FolderTrashMover::commandsForKeys(const std::set<std::string>& keys) const {
  ScriptRunner::Scripts scripts;
  for (const DuplicateSet& set : cataloger_->duplicateSets()) {
    const std::vector<std::shared_ptr<Photo>>& photos = set.orderedPhotos();
    if (photos.empty()) continue;
    auto left = std::find_if(photos.begin(), photos.end(),
                             [&](const auto& photo) { return !keys.contains(photo->iPhotoKey()); });
    const std::shared_ptr<Photo>& kept = left == photos.end() ? photos.front() : *left;
    for (const std::shared_ptr<Photo>& photo : photos)
      if (photo != kept && keys.contains(photo->iPhotoKey()))
        scripts.push_back(std::make_shared<DesktopTrashCommand>(photo, kept));
  }
  return scripts;
}

std::size_t FolderTrashMover::photosMovedBy(const AppleScript& command) const {
  return dynamic_cast<const DesktopTrashCommand*>(&command) ? 1 : 0;
}

}  // namespace twinlens
