#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalog/photo.hpp"
#include "iphoto/trash_run.hpp"

namespace twinlens {

class Cataloger;

// Moves one duplicate of a folder to the desktop trash, once TrashGuard has found it still the
// file that was hashed and `kept` still in place: its original file, then its modified one if it
// has one. Fails with the guard's or the trash's error record.
class DesktopTrashCommand final : public AppleScript {
 public:
  DesktopTrashCommand(std::shared_ptr<const Photo> duplicate, std::shared_ptr<const Photo> kept)
      : duplicate_(std::move(duplicate)), kept_(std::move(kept)) {}

  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  const Photo& duplicate() const { return *duplicate_; }

 private:
  std::shared_ptr<const Photo> duplicate_;
  std::shared_ptr<const Photo> kept_;
};

// The desktop trash of a scanned folder: one DesktopTrashCommand per photo, each checked against
// the photo its set keeps. Reads the Cataloger's last results; main thread only.
class FolderTrashMover final : public TrashMover {
 public:
  explicit FolderTrashMover(std::shared_ptr<const Cataloger> cataloger)
      : cataloger_(std::move(cataloger)) {}

  ScriptRunner::Scripts commands(const std::vector<std::shared_ptr<Photo>>& photos) const override;
  // The moves of the photos with these keys. Each set keeps its kept photo, or when that one is
  // chosen too its first photo that is not; a set whose every photo is chosen keeps its kept
  // photo, which is not moved.
  ScriptRunner::Scripts commandsForKeys(const std::set<std::string>& keys) const;
  std::size_t photosMovedBy(const AppleScript& command) const override;
  std::string warning() const override { return {}; }
  std::string trashName() const override { return "the Trash"; }

 private:
  std::shared_ptr<const Cataloger> cataloger_;
};

}  // namespace twinlens
