#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/photo.hpp"
#include "iphoto/script_runner.hpp"

namespace twinlens {

// How one kind of trash moves photos: the commands of a whole run, which of them move photos and
// how the trash is named in messages. The runner sends the commands; the summary of the run and
// its messages are the same for every kind of trash.
class TrashMover {
 public:
  virtual ~TrashMover() = default;
  // Every command of a run moving `photos`, in order.
  virtual ScriptRunner::Scripts commands(
      const std::vector<std::shared_ptr<Photo>>& photos) const = 0;
  // The photos `command` moves; 0 for a command that moves none.
  virtual std::size_t photosMovedBy(const AppleScript& command) const = 0;
  // What the user is told not to do while the run goes on; empty hides the warning.
  virtual std::string warning() const = 0;
  // The trash as messages name it ("the iPhoto Trash").
  virtual std::string trashName() const = 0;
};

// iPhoto's trash: the library album is selected, each duplicate is removed by a command of its
// own, and the library album is selected again, so N photos make N + 2 commands.
class IPhotoTrashMover final : public TrashMover {
 public:
  ScriptRunner::Scripts commands(const std::vector<std::shared_ptr<Photo>>& photos) const override;
  std::size_t photosMovedBy(const AppleScript& command) const override;
  std::string warning() const override;
  std::string trashName() const override { return "the iPhoto Trash"; }
};

// Prepares `runner` (warning, the message "Moving N items to Trash in <library folder>", the
// commands, cancelable) and starts it; main thread. `groupingSeparator` groups the count.
void startTrashRun(ScriptRunner& runner, const TrashMover& mover,
                   const std::vector<std::shared_ptr<Photo>>& photos,
                   const std::string& libraryPath, std::string_view groupingSeparator);

// What a finished run did, and the texts that tell it. Counts in the texts are grouped with the
// separator given, but the counts of failures, which are written plainly.
struct TrashRunSummary {
  std::size_t offered = 0;         // photos the run was given
  std::size_t moved = 0;           // photos of the commands that ran and did not fail
  std::size_t failedPhotos = 0;    // photos of the move commands that failed
  std::size_t failedCommands = 0;  // every failed command, selections too
  bool cancelled = false;
  std::string trashName;

  // Read from `runner` once it has finished a run of `offered` photos made by `mover`.
  static TrashRunSummary ofRun(const ScriptRunner& runner, const TrashMover& mover,
                               std::size_t offered);

  bool anyFailed() const { return failedCommands != 0; }
  // "Failed to move some photos".
  static std::string failureTitle();
  // "N photo(s) could not be moved to <trash>."
  std::string failureText() const;
  // "Moved N photo(s) to <trash>.", or when cancelled "Moved N of M photo(s) to <trash> before
  // you cancelled."
  std::string movedText(std::string_view groupingSeparator) const;
  // "Moving to <trash> was cancelled".
  std::string cancelledTitle() const;
  // "N photo(s) moved to <trash> before you cancelled; F could not be moved. Rescan to see what
  // is left."
  std::string cancelledText(std::string_view groupingSeparator) const;
  // The one line a terminal gets: "Cancelled: N photo(s) moved to <trash>."
  std::string cancelledLine(std::string_view groupingSeparator) const;
};

}  // namespace twinlens
