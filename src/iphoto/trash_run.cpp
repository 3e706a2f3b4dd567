#include "iphoto/trash_run.hpp"

#include <algorithm>

#include "io/file_helpers.hpp"
#include "iphoto/iphoto_scripts.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

ScriptRunner::Scripts IPhotoTrashMover::commands(
    const std::vector<std::shared_ptr<Photo>>& photos) const {
  ScriptRunner::Scripts scripts;
  scripts.reserve(photos.size() + 2);
  scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
  for (const std::shared_ptr<Photo>& photo : photos)
    scripts.push_back(
        std::make_shared<MoveToTrashScript>(std::vector<std::string>{photo->iPhotoKey()}));
  scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
  return scripts;
}

std::size_t IPhotoTrashMover::photosMovedBy(const AppleScript& command) const {
  const auto* move = dynamic_cast<const MoveToTrashScript*>(&command);
  return move ? move->photoKeyCount() : 0;
}

std::string IPhotoTrashMover::warning() const {
  return "Do not manipulate iPhoto while moving is in progress";
}

void startTrashRun(ScriptRunner& runner, const TrashMover& mover,
                   const std::vector<std::shared_ptr<Photo>>& photos,
                   const std::string& libraryPath, std::string_view groupingSeparator) {
  std::string warning = mover.warning();
  runner.setHideWarning(warning.empty());
  runner.setWarning(std::move(warning));
  std::size_t count = photos.size();
  runner.setMessage(formatText("Moving %s item%s to Trash in %s",
                               groupedDigits(count, groupingSeparator).c_str(), pluralSuffix(count),
                               lastPathComponent(libraryPath).c_str()));
  runner.setScripts(mover.commands(photos));
  runner.setCancelable(true);
  runner.start();
}

TrashRunSummary TrashRunSummary::ofRun(const ScriptRunner& runner, const TrashMover& mover,
                                       std::size_t offered) {
  TrashRunSummary summary;
  summary.offered = offered;
  summary.cancelled = runner.abortRequested();
  summary.trashName = mover.trashName();
  ScriptRunner::Scripts scripts = runner.scripts();
  std::size_t ran = std::min(runner.scriptIndex(), scripts.size());
  for (std::size_t i = 0; i < ran; ++i) summary.moved += mover.photosMovedBy(*scripts[i]);
  for (const std::shared_ptr<AppleScript>& failed : runner.failedScripts()) {
    ++summary.failedCommands;
    summary.failedPhotos += mover.photosMovedBy(*failed);
  }
  summary.moved -= std::min(summary.moved, summary.failedPhotos);
  return summary;
}

std::string TrashRunSummary::failureTitle() {
  return "Failed to move some photos";
}

std::string TrashRunSummary::failureText() const {
  return formatText("%lu photo%s could not be moved to %s.",
                    static_cast<unsigned long>(failedPhotos), pluralSuffix(failedPhotos),
                    trashName.c_str());
}

std::string TrashRunSummary::movedText(std::string_view groupingSeparator) const {
  std::string count = groupedDigits(moved, groupingSeparator);
  if (!cancelled)
    return formatText("Moved %s photo%s to %s.", count.c_str(), pluralSuffix(moved),
                      trashName.c_str());
  return formatText("Moved %s of %s photo%s to %s before you cancelled.", count.c_str(),
                    groupedDigits(offered, groupingSeparator).c_str(), pluralSuffix(offered),
                    trashName.c_str());
}

std::string TrashRunSummary::cancelledTitle() const {
  return "Moving to " + trashName + " was cancelled";
}

std::string TrashRunSummary::cancelledText(std::string_view groupingSeparator) const {
  return formatText(
      "%s photo%s moved to %s before you cancelled; %zu could not be moved. Rescan to see what "
      "is left.",
      groupedDigits(moved, groupingSeparator).c_str(), moved == 1 ? " was" : "s were",
      trashName.c_str(), failedCommands);
}

std::string TrashRunSummary::cancelledLine(std::string_view groupingSeparator) const {
  return formatText("Cancelled: %s photo%s moved to %s.",
                    groupedDigits(moved, groupingSeparator).c_str(), pluralSuffix(moved),
                    trashName.c_str());
}

}  // namespace twinlens
