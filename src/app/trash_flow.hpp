#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

#include "app/browser/image_browser_view.hpp"
#include "iphoto/desktop_trash_mover.hpp"
#include "iphoto/script_runner.hpp"
#include "iphoto/trash_run.hpp"

namespace twinlens {

class AppController;
class Cataloger;
class Defaults;

// What the window does to the duplicates: the whole-library move of every duplicate to the trash
// through the runner and its closing sheets (done, failures, cancelled), the move of a selection,
// and revealing a photo. An iPhoto library's trash is iPhoto's, a selection goes in one command
// and a photo is revealed in iPhoto; nothing is sent while iPhoto has another library open. A
// folder's trash is the desktop's and a photo is shown in the file manager. Nothing is done while
// a scan replaces the results. It is the runner's delegate; the window and its alerts belong to
// the AppController. Main thread only.
class TrashFlow final : public QObject, public ScriptRunnerDelegate {
  Q_OBJECT

 public:
  TrashFlow(AppController& app, std::shared_ptr<Defaults> defaults,
            std::shared_ptr<Cataloger> cataloger, std::shared_ptr<ScriptRunner> scriptRunner);

  void moveToTrash();
  void scriptRunnerDidFinish(ScriptRunner& runner) override;
  void deleteItemsAtIndexes(const IndexSet& indexes);
  void revealItemsAtIndexes(const IndexSet& indexes);
  // From moveToTrash() until its run has finished.
  bool isMoving() const { return moving_; }

  // The closing sheets' buttons.
  void moveToTrashComplete();
  void cancelRescan();
  void cancelQuit();

 private:
  // Whether the results may be acted on: no scan is replacing them, and iPhoto has the scanned
  // library open (else an alert on the main window says which it has).
  bool mayActOnDuplicates();
  // The mover of the scanned library; a folder's is made anew from the current sets.
  const TrashMover& mover(bool renewed = false);
  void deleteFolderItems(const IndexSet& indexes);
  void showFailureAlert(const TrashRunSummary& summary);
  void showCanceledWindow(const TrashRunSummary& summary);
  void showMoveToTrashCompleteWindow(const TrashRunSummary& summary);
  void didEndMoveToTrashErrorWindow(bool rescan);
  void didEndCanceledWindow(int returnCode);

  AppController& app_;
  std::shared_ptr<Defaults> defaults_;
  std::shared_ptr<Cataloger> cataloger_;
  std::shared_ptr<ScriptRunner> scriptRunner_;
  IPhotoTrashMover iPhotoMover_;
  std::optional<DesktopTrashMover> folderMover_;
  bool moving_ = false;
  QPointer<QMessageBox> moveToTrashCompleteWindow_;
  QPointer<QMessageBox> canceledWindow_;
};

}  // namespace twinlens
