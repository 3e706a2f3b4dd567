#include "app/start_up_sequence.hpp"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>

#include "app/app_controller.hpp"
#include "app/main_window.hpp"
#include "app/sheets/activity_indicator.hpp"
#include "app/sheets/alert_style.hpp"
#include "catalog/defaults.hpp"
#include "iphoto/iphoto_scripts.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr int kIPhotoPollIntervalMs = 500;

QString appName() {
  return QString::fromStdString(TwinlensApp::appName());
}

bool holdsAlbumData(const std::string& folder) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(folder + "/AlbumData.xml", ignored);
}

std::string expandTilde(std::string path) {
  if (path == "~" || path.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    path = std::string(home ? home : "") + path.substr(1);
  }
  return path;
}

}  // namespace

StartUpSequence::StartUpSequence(AppController& app, QtMainThread& mainThread,
                                 std::shared_ptr<Defaults> defaults,
                                 std::shared_ptr<Cataloger> cataloger,
                                 std::function<bool()> isIPhotoRunning)
    : app_(app),
      mainThread_(mainThread),
      defaults_(std::move(defaults)),
      cataloger_(std::move(cataloger)),
      isIPhotoRunning_(std::move(isIPhotoRunning)) {
  auto* dialog = new QDialog(&app_.mainWindow());
  dialog->setObjectName("quittingIPhotoWindow");
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setWindowTitle(tr("Quitting iPhoto"));
  auto* layout = new QHBoxLayout(dialog);
  quittingIPhotoProgress_ = new ActivityIndicator(dialog);
  layout->addWidget(quittingIPhotoProgress_);
  layout->addWidget(new QLabel(tr("Waiting for iPhoto to quit..."), dialog), 1);
  quittingIPhotoWindow_ = dialog;
  quitPollTimer_.setInterval(kIPhotoPollIntervalMs);
  connect(&quitPollTimer_, &QTimer::timeout, this, &StartUpSequence::pollIPhotoGone);
}

bool StartUpSequence::iPhotoIsRunning() const {
  return isIPhotoRunning_ && isIPhotoRunning_();
}

bool StartUpSequence::deferQuitToScanEnd() {
  if (!scanning_) return false;
  quitRequested_ = true;
  cataloger_->cancelCataloging();
  return true;
}

void StartUpSequence::setFolderToScan(const std::string& path) {
  state_ = 0;
  folder_.reset();
  if (!holdsAlbumData(path)) {
    folder_ = path;
    return;
  }
  defaults_->overrideIPhotoRootDirectory(path);
}

void StartUpSequence::startUp() {
  if (state_ == 0 && folder_) {
    cataloger_->setFolderPath(*folder_);
    app_.setIPhotoLibraryPath(*folder_);
    return startScan();
  }
  if (state_ == 0) {
    state_ = 1;
    std::optional<std::string> path = defaults_->iPhotoRootDirectory();
    // A library moved or deleted since iPhoto last had it open is asked for like a missing one.
    if (path && !holdsAlbumData(*path)) {
      logWarn("iPhoto's RootDirectory %s holds no AlbumData.xml", path->c_str());
      path.reset();
    }
    if (!path) path = chooseLibrary();
    if (!path) return app_.quit();
    cataloger_->setIPhotoLibraryPath(*path);
    app_.setIPhotoLibraryPath(*path);
  }
  if (state_ == 1) {
    state_ = 2;
    if (defaults_->useAlbumDataXML() && iPhotoIsRunning()) {
      QMessageBox* sheet =
          app_.alertSheet(tr("%1 will quit iPhoto.").arg(appName()),
                          tr("Twinlens cannot scan the iPhoto Library while iPhoto is open."),
                          "quitIPhotoSheet", AlertKind::Warning);
      QPushButton* quitButton = sheet->addButton(tr("Quit iPhoto"), QMessageBox::AcceptRole);
      sheet->addButton(tr("Cancel"), QMessageBox::RejectRole);
      sheet->setDefaultButton(quitButton);
      connect(sheet, &QMessageBox::finished, this, [this, sheet, quitButton] {
        quitIPhotoSheetDidEnd(sheet->clickedButton() == quitButton);
      });
      sheet->open();
      return;
    }
  }
  if (state_ != 2) return;
  state_ = 0;
  if (defaults_->useAlbumDataXML() && iPhotoIsRunning()) return quitIPhotoAndScan();
  startScan();
}

void StartUpSequence::startScan() {
  scanning_ = true;
  app_.setResultsControlsEnabled(false);
  cataloger_->start();
}

std::optional<std::string> StartUpSequence::chooseLibrary() {
  for (;;) {
    QFileDialog panel(&app_.mainWindow(), tr("Select the iPhoto Library:"));
    panel.setObjectName("libraryOpenPanel");
    panel.setFileMode(QFileDialog::Directory);
    panel.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
    panel.setDirectory(QDir::homePath());
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    std::string path = expandTilde(panel.selectedFiles().front().toStdString());
    if (holdsAlbumData(path)) return path;

    QMessageBox alert(QMessageBox::Warning, appName(),
                      tr("That doesn't look like an iPhoto Library."), QMessageBox::NoButton,
                      &app_.mainWindow());
    alert.setObjectName("notALibraryAlert");
    setAlertKind(alert, AlertKind::Warning);
    QPushButton* tryAgain = alert.addButton(tr("Try Again"), QMessageBox::AcceptRole);
    alert.addButton(tr("Quit"), QMessageBox::RejectRole);
    alert.setDefaultButton(tryAgain);
    alert.exec();
    if (alert.clickedButton() != tryAgain) return std::nullopt;
  }
}

void StartUpSequence::quitIPhotoSheetDidEnd(bool quitIPhoto) {
  if (!quitIPhoto) return app_.quit();
  startUp();
}

void StartUpSequence::quitIPhotoAndScan() {
  quittingIPhotoWindow_->open();
  quittingIPhotoProgress_->startAnimation();
  // Let the sheet appear before iPhoto is asked, which may take a while.
  QTimer::singleShot(0, this, [this] {
    ErrorRecord error;
    if (!QuitIPhotoScript().execute(&error))
      logError("error quitting iPhoto: %s", error.description().c_str());
    pollIPhotoGone();
  });
}

void StartUpSequence::pollIPhotoGone() {
  // The window stays responsive while iPhoto takes its time: look again every half second.
  if (iPhotoIsRunning()) {
    if (!quitPollTimer_.isActive()) quitPollTimer_.start();
    return;
  }
  quitPollTimer_.stop();
  quittingIPhotoProgress_->stopAnimation();
  quittingIPhotoWindow_->done(QDialog::Accepted);
  startScan();
}

void StartUpSequence::catalogingDidSucceed(std::uint64_t) {
  mainThread_.requireMainThread();
  scanning_ = false;
  if (quitRequested_) return app_.quit();
  app_.resetUIElements();
  if (!cataloger_->duplicatePhotos().empty()) {
    app_.attachHelpBubble();
    return;
  }
  app_.alertSheet(tr("No duplicates found"), QString(), "noDuplicatesAlert")->open();
}

void StartUpSequence::catalogingDidFail(const ErrorRecord& error) {
  mainThread_.requireMainThread();
  scanning_ = false;
  if (quitRequested_) return app_.quit();
  if (Cataloger::isAbort(error)) return app_.quit();
  if (!cataloger_->isFolder() && !defaults_->useAlbumDataXML()) {
    logPlain("got error (trying again): %s", error.description().c_str());
    defaults_->setUseAlbumDataXML(true);
    startUp();
    return;
  }
  QMessageBox alert(QMessageBox::Warning, appName(), QString::fromStdString(error.description()),
                    QMessageBox::Ok, &app_.mainWindow());
  alert.setObjectName("scanErrorAlert");
  setAlertKind(alert, AlertKind::Warning);
  alert.exec();
  app_.quit();
}

}  // namespace twinlens
