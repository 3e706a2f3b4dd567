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

 private:
  std::shared_ptr<Photo> duplicate_;
  std::shared_ptr<Photo> kept_;
};

// The desktop trash of a folder of photo files: one command per duplicate, each checked against
// the kept photo of its set (the first of the set) just before its file moves.
class DesktopTrashMover final : public TrashMover {
 public:
  explicit DesktopTrashMover(const std::vector<DuplicateSet>& sets);

  // A photo of none of the sets gets a command that always fails.
  ScriptRunner::Scripts commands(const std::vector<std::shared_ptr<Photo>>& photos) const override;
  std::size_t photosMovedBy(const AppleScript& command) const override;
  // The guard makes a change to the folder safe, so there is nothing to warn of.
  std::string warning() const override { return {}; }
  std::string trashName() const override { return "the trash"; }

 private:
  std::map<const Photo*, std::shared_ptr<Photo>> keptByDuplicate_;
};

}  // namespace twinlens
