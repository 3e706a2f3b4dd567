#include "app/trash_flow.hpp"

#include <QPushButton>
#include <algorithm>
#include <set>

#include "app/app_controller.hpp"
#include "app/browser/count_text.hpp"
#include "app/sheets/alert_style.hpp"
#include "catalog/cataloger.hpp"
#include "catalog/defaults.hpp"
#include "iphoto/iphoto_scripts.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

TrashFlow::TrashFlow(AppController& app, std::shared_ptr<Defaults> defaults,
                     std::shared_ptr<Cataloger> cataloger,
                     std::shared_ptr<ScriptRunner> scriptRunner)
    : app_(app),
      defaults_(std::move(defaults)),
      cataloger_(std::move(cataloger)),
      scriptRunner_(std::move(scriptRunner)) {}

const TrashMover& TrashFlow::mover(bool renewed) {
  if (!cataloger_->isFolder()) return iPhotoMover_;
  if (renewed || !folderMover_) folderMover_.emplace(cataloger_->duplicateSets());
  return *folderMover_;
}

bool TrashFlow::mayActOnDuplicates() {
  if (app_.isScanning()) return false;
  if (cataloger_->isFolder()) return true;
  ErrorRecord error;
  if (defaults_->isIPhotoLibrary(app_.iPhotoLibraryPath(), &error)) return true;
  app_.alertSheet(tr("iPhoto does not have this library open"), qText(error.description()),
                  "otherLibraryAlert")
      ->open();
  return false;
}

void TrashFlow::moveToTrash() {
  if (!mayActOnDuplicates()) return;
  moving_ = true;
  app_.updateOpenFolderAction();
  startTrashRun(*scriptRunner_, mover(true), cataloger_->duplicatePhotos(),
                app_.iPhotoLibraryPath(), localeGroupingSeparator());
}

void TrashFlow::scriptRunnerDidFinish(ScriptRunner& runner) {
  moving_ = false;
  app_.updateOpenFolderAction();
  TrashRunSummary summary =
      TrashRunSummary::ofRun(runner, mover(), cataloger_->duplicatePhotos().size());
  if (!summary.anyFailed()) return showMoveToTrashCompleteWindow(summary);
  if (!summary.cancelled) return showFailureAlert(summary);
  showCanceledWindow(summary);
}

void TrashFlow::showFailureAlert(const TrashRunSummary& summary) {
  QMessageBox* alert =
      app_.alertSheet(qText(TrashRunSummary::failureTitle()), qText(summary.failureText()),
                      "moveToTrashErrorAlert", AlertKind::Warning);
  QPushButton* quitButton = alert->addButton(tr("Quit"), QMessageBox::AcceptRole);
  QPushButton* rescanButton = alert->addButton(tr("Rescan"), QMessageBox::RejectRole);
  alert->setDefaultButton(quitButton);
  connect(alert, &QMessageBox::finished, this, [this, alert, rescanButton] {
    didEndMoveToTrashErrorWindow(alert->clickedButton() == rescanButton);
  });
  alert->open();
}

void TrashFlow::showCanceledWindow(const TrashRunSummary& summary) {
  canceledWindow_ =
      app_.alertSheet(qText(summary.cancelledTitle()),
                      qText(summary.cancelledText(localeGroupingSeparator())), "canceledWindow");
  QPushButton* rescanButton = canceledWindow_->addButton(tr("Rescan"), QMessageBox::AcceptRole);
  QPushButton* quitButton = canceledWindow_->addButton(tr("Quit"), QMessageBox::RejectRole);
  canceledWindow_->setDefaultButton(rescanButton);
  // The buttons end the sheet with their own return codes rather than QMessageBox's.
  rescanButton->disconnect();
  quitButton->disconnect();
  connect(rescanButton, &QPushButton::clicked, this, &TrashFlow::cancelRescan);
  connect(quitButton, &QPushButton::clicked, this, &TrashFlow::cancelQuit);
  connect(canceledWindow_, &QDialog::finished, this, &TrashFlow::didEndCanceledWindow);
  canceledWindow_->open();
}

void TrashFlow::showMoveToTrashCompleteWindow(const TrashRunSummary& summary) {
  QString howToEmpty = cataloger_->isFolder()
                           ? tr("Empty the Trash to delete them for good. %1 will now quit.")
                           : tr("Empty the iPhoto Trash in iPhoto to delete them for good. %1 "
                                "will now quit.");
  moveToTrashCompleteWindow_ =
      app_.alertSheet(qText(summary.movedText(localeGroupingSeparator())),
                      howToEmpty.arg(qText(TwinlensApp::appName())), "moveToTrashCompleteWindow");
  QPushButton* done = moveToTrashCompleteWindow_->addButton(tr("Quit"), QMessageBox::AcceptRole);
  moveToTrashCompleteWindow_->setDefaultButton(done);
  done->disconnect();
  connect(done, &QPushButton::clicked, this, &TrashFlow::moveToTrashComplete);
  connect(moveToTrashCompleteWindow_, &QDialog::finished, &app_, &AppController::quit);
  moveToTrashCompleteWindow_->open();
}

void TrashFlow::moveToTrashComplete() {
  if (moveToTrashCompleteWindow_) moveToTrashCompleteWindow_->done(0);
}

void TrashFlow::didEndMoveToTrashErrorWindow(bool rescan) {
  if (!rescan) return app_.quit();
  app_.startUp();
}

void TrashFlow::cancelRescan() {
  if (canceledWindow_) canceledWindow_->done(1);
}

void TrashFlow::cancelQuit() {
  if (canceledWindow_) canceledWindow_->done(0);
}

void TrashFlow::didEndCanceledWindow(int returnCode) {
  if (returnCode == 1) return app_.startUp();
  app_.quit();
}

void TrashFlow::deleteItemsAtIndexes(const IndexSet& indexes) {
  if (!mayActOnDuplicates()) return;
  if (cataloger_->isFolder()) return deleteFolderItems(indexes);
  ErrorRecord error;
  if (!SelectLibraryAlbumScript().execute(&error))
    logError("error selecting library album: %s", error.description().c_str());
  MoveToTrashScript move;
  std::vector<std::string> keys;
  const std::vector<Thumbnail>& thumbnails = cataloger_->thumbnails();
  for (std::size_t index : indexes) {
    if (index >= thumbnails.size()) continue;
    move.addPhotoKey(thumbnails[index].iPhotoKey());
    keys.push_back(thumbnails[index].iPhotoKey());
  }
  ErrorRecord moveError;
  if (!move.execute(&moveError))
    app_.alertSheet(qText(moveError.description()), QString(), "moveSelectionErrorAlert",
                    AlertKind::Warning)
        ->open();
  cataloger_->removePhotosForIPhotoKeys(keys);
  app_.resetUIElements();
}

void TrashFlow::deleteFolderItems(const IndexSet& indexes) {
  std::set<std::string> keys;
  const std::vector<Thumbnail>& thumbnails = cataloger_->thumbnails();
  for (std::size_t index : indexes)
    if (index < thumbnails.size()) keys.insert(thumbnails[index].iPhotoKey());
  std::vector<std::shared_ptr<Photo>> chosen;
  for (const DuplicateSet& set : cataloger_->duplicateSets())
    for (const std::shared_ptr<Photo>& photo : set.orderedPhotos())
      if (keys.contains(photo->iPhotoKey())) chosen.push_back(photo);
  std::vector<std::string> moved;
  std::optional<ErrorRecord> firstError;
  TrashRunSummary summary;
  summary.trashName = mover(true).trashName();
  for (const std::shared_ptr<AppleScript>& command : mover().commands(chosen)) {
    ErrorRecord error;
    if (command->execute(&error)) {
      moved.push_back(
          static_cast<const MoveFileToTrashCommand&>(*command).duplicate()->iPhotoKey());
      continue;
    }
    logError("error moving to the trash: %s", error.description().c_str());
    if (summary.failedPhotos++ == 0) firstError = error;
  }
  cataloger_->removePhotosForIPhotoKeys(moved);
  app_.resetUIElements();
  if (!firstError) return;
  app_.alertSheet(qText(summary.failureText()), qText(firstError->description()),
                  "moveSelectionErrorAlert", AlertKind::Warning)
      ->open();
}

void TrashFlow::revealItemsAtIndexes(const IndexSet& indexes) {
  if (indexes.empty() || !mayActOnDuplicates()) return;
  if (indexes.size() >= 2)
    TL_LOG_DEBUG(this,
                 "ignoring additional indexes because iPhoto won't select more than one "
                 "via AppleScript");
  std::size_t lowest = *std::min_element(indexes.begin(), indexes.end());
  const std::vector<Thumbnail>& thumbnails = cataloger_->thumbnails();
  if (lowest >= thumbnails.size()) return;
  if (cataloger_->isFolder()) return app_.showInFileManager(thumbnails[lowest].path().value_or(""));
  ErrorRecord error;
  if (SelectPhotoScript(thumbnails[lowest].iPhotoKey()).execute(&error)) return;
  logError("error selecting photo in iPhoto: %s", error.description().c_str());
  app_.alertSheet(tr("Error selecting photo"), qText(error.description()), "revealErrorAlert",
                  AlertKind::Warning)
      ->open();
}

}  // namespace twinlens
