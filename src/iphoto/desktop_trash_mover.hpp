#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/duplicate_set.hpp"
#include "catalog/photo.hpp"
#include "iphoto/trash_run.hpp"

namespace twinlens {

// Moves one duplicate's file to the desktop trash, once TrashGuard has found it and the kept photo
// of its set still what was hashed; a refusal fails the command with the guard's record.
class MoveFileToTrashCommand final : public AppleScript {
 public:
  MoveFileToTrashCommand(std::shared_ptr<Photo> duplicate, std::shared_ptr<Photo> kept);

  [[nodiscard]] bool execute(ErrorRecord* error = nullptr) override;
  std::shared_ptr<AppleScript> copy() const override;
  std::string description() const override;
  const std::shared_ptr<Photo>& duplicate() const { return duplicate_; }

 private:
  std::shared_ptr<Photo> duplicate_;
  std::shared_ptr<Photo> kept_;
};

// The desktop trash of a folder of photo files: one command per chosen photo, each checked against
// the photo its set keeps just before its file moves.
class DesktopTrashMover final : public TrashMover {
 public:
  explicit DesktopTrashMover(const std::vector<DuplicateSet>& sets);

  // A set keeps its first photo, or when that one is chosen too its first photo that is not, so a
  // selection in the window may hold any photo of a set; a set whose every photo is chosen keeps
  // its first, which is not moved. A photo of none of the sets gets a command that always fails.
  ScriptRunner::Scripts commands(const std::vector<std::shared_ptr<Photo>>& photos) const override;
  std::size_t photosMovedBy(const AppleScript& command) const override;
  // The guard makes a change to the folder safe, so there is nothing to warn of.
  std::string warning() const override { return {}; }
  std::string trashName() const override { return "the trash"; }

 private:
  std::vector<std::vector<std::shared_ptr<Photo>>> sets_;
  std::map<const Photo*, std::size_t> setOfPhoto_;
};

}  // namespace twinlens
