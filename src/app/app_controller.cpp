#include "app/app_controller.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/browser/count_text.hpp"
#include "app/help_bubble.hpp"
#include "app/help_window.hpp"
#include "app/main_window.hpp"
#include "app/sheets/activity_indicator.hpp"
#include "app/sheets/alert_style.hpp"
#include "app/sheets/cataloging_sheet.hpp"
#include "app/sheets/script_runner_sheet.hpp"
#include "app/update/software_updater.hpp"
#include "catalog/defaults.hpp"
#include "catalog/duplicate_results.hpp"
#include "io/file_helpers.hpp"
#include "iphoto/iphoto_scripts.hpp"
#include "platform/process.hpp"
#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr const char* kIPhotoBundleIdentifier = "com.apple.iPhoto";
constexpr const char* kLogLevelKey = "logLevel";
constexpr const char* kHelpBubbleShownKey = "helpBubbleShown";
constexpr int kIPhotoPollIntervalMs = 500;
constexpr int kStartUpDelayMs = 100;
constexpr int kQuitDelayMs = 100;
const QColor kGroupBackground(0xdc, 0xdc, 0xdc);

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

QString appName() {
  return qText(TwinlensApp::appName());
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

// The photos a run moved to the trash: those of the move commands that ran and did not fail.
std::size_t photosMoved(const ScriptRunner& runner) {
  ScriptRunner::Scripts scripts = runner.scripts();
  std::size_t ran = std::min(runner.scriptIndex(), scripts.size());
  std::size_t moved = 0;
  for (std::size_t i = 0; i < ran; ++i)
    if (auto* move = dynamic_cast<MoveToTrashScript*>(scripts[i].get()))
      moved += move->photoKeyCount();
  for (const std::shared_ptr<AppleScript>& failed : runner.failedScripts())
    if (auto* move = dynamic_cast<MoveToTrashScript*>(failed.get()))
      moved -= std::min(moved, move->photoKeyCount());
  return moved;
}

}  // namespace

AppController::Environment AppController::standardEnvironment() {
  Environment environment;
  environment.isIPhotoRunning = [] {
    return Process::isProcessRunningWithBundleIdentifier(kIPhotoBundleIdentifier);
  };
  environment.quitApplication = [] { QCoreApplication::quit(); };
  environment.openURL = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  return environment;
}

AppController::AppController(QtMainThread& mainThread, std::shared_ptr<Defaults> defaults,
                             std::shared_ptr<UserDefaults> applicationDefaults,
                             Environment environment)
    : mainThread_(mainThread),
      defaults_(std::move(defaults)),
      applicationDefaults_(std::move(applicationDefaults)),
      environment_(std::move(environment)),
      cataloger_(std::make_shared<Cataloger>(mainThread_, defaults_)),
      scriptRunner_(std::make_shared<ScriptRunner>(mainThread_)),
      mainWindow_(std::make_unique<MainWindow>()) {
  catalogingSheet_ = new CatalogingSheet(mainWindow_.get(), cataloger_);
  scriptRunnerSheet_ = new ScriptRunnerSheet(mainWindow_.get(), scriptRunner_);
  cataloger_->setDelegate(this);
  cataloger_->setView(catalogingSheet_);
  cataloger_->setChangeCallback([sheet = catalogingSheet_](std::string_view property) {
    sheet->catalogerDidChange(property);
  });
  scriptRunner_->setDelegate(this);
  scriptRunner_->setView(scriptRunnerSheet_);
  scriptRunner_->setChangeCallback([sheet = scriptRunnerSheet_](std::string_view property) {
    sheet->runnerDidChange(property);
  });
  updater_ =
      new SoftwareUpdater(mainWindow_.get(), environment_.updateFeedURL.isEmpty()
                                                 ? std::nullopt
                                                 : std::optional(environment_.updateFeedURL));
  quitPollTimer_.setInterval(kIPhotoPollIntervalMs);
  connect(&quitPollTimer_, &QTimer::timeout, this, &AppController::pollIPhotoGone);
  awakeFromNib();
  if (applicationDefaults_) mainWindow_->restoreFrameFromDefaults(*applicationDefaults_);
}

AppController::~AppController() {
  if (applicationDefaults_) {
    mainWindow_->saveFrameInDefaults(*applicationDefaults_);
    if (!applicationDefaults_->synchronize()) logError("failed to keep the window's frame");
  }
  quitPollTimer_.stop();
  cataloger_->setDelegate(nullptr);
  cataloger_->setView(nullptr);
  cataloger_->setChangeCallback(nullptr);
  scriptRunner_->setDelegate(nullptr);
  scriptRunner_->setView(nullptr);
  scriptRunner_->setChangeCallback(nullptr);
  // The worker hands its steps to this thread, so they are run here while it winds down.
  cataloger_->cancelCataloging();
  while (!cataloger_->waitForWorkers(std::chrono::milliseconds(10)))
    mainThread_.runHandedOverWork();
}

void AppController::awakeFromNib() {
  auto* dialog = new QDialog(mainWindow_.get());
  dialog->setObjectName("quittingIPhotoWindow");
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setWindowTitle(tr("Quitting iPhoto"));
  auto* layout = new QHBoxLayout(dialog);
  quittingIPhotoProgress_ = new ActivityIndicator(dialog);
  layout->addWidget(quittingIPhotoProgress_);
  layout->addWidget(new QLabel(tr("Waiting for iPhoto to quit..."), dialog), 1);
  quittingIPhotoWindow_ = dialog;

  bindWindow();
  setSelectDuplicatesInIPhoto(true);
  std::int64_t level =
      applicationDefaults_ ? applicationDefaults_->integerForKey(kLogLevelKey).value_or(0) : 0;
  auto low = static_cast<std::uint32_t>(level);
  setLogLevel(low != 0 ? low : kLogLevelInfo);
}

void AppController::bindWindow() {
  MainWindow& window = *mainWindow_;
  ImageBrowserView& browser = imageBrowser();
  browser.setDataSource(this);
  browser.setDelegate(this);
  connect(&window, &MainWindow::windowWillClose, this, &AppController::windowWillClose);
  connect(this, &AppController::duplicatesCountDescriptionChanged, window.countLabel(),
          [this] { mainWindow_->countLabel()->setText(duplicatesCountDescription_); });
  connect(this, &AppController::iPhotoLibraryNameChanged, window.libraryLabel(),
          [this] { mainWindow_->libraryLabel()->setText(iPhotoLibraryName()); });
  connect(this, &AppController::sliderEnabledChanged, window.zoomSlider(),
          [this] { mainWindow_->zoomSlider()->setEnabled(sliderEnabled_); });
  connect(this, &AppController::moveToTrashButtonEnabledChanged, window.moveToTrashButton(),
          [this] { mainWindow_->moveToTrashButton()->setEnabled(moveToTrashButtonEnabled_); });
  window.zoomSlider()->setEnabled(false);
  window.moveToTrashButton()->setEnabled(false);
  connect(window.zoomSlider(), &QSlider::valueChanged, this, &AppController::zoomSliderDidChange);
  connect(window.moveToTrashButton(), &QPushButton::clicked, this, &AppController::moveToTrash);

  connect(window.rescanAction(), &QAction::triggered, this, &AppController::rescan);
  connect(window.quitAction(), &QAction::triggered, this, &AppController::quit);
  connect(window.helpAction(), &QAction::triggered, this, &AppController::showHelp);
  connect(window.webSiteAction(), &QAction::triggered, this, &AppController::visitTwinlensWebSite);
  connect(window.feedbackAction(), &QAction::triggered, this, &AppController::sendFeedback);
  connect(window.aboutAction(), &QAction::triggered, this, [this] {
    QString version = qText(TwinlensApp::infoValue("CFBundleShortVersionString").value_or(""));
    QMessageBox* about =
        alertSheet(QString("%1 %2").arg(appName(), version),
                   tr("Finds duplicate photos in an iPhoto library."), "aboutAlert");
    about->setWindowTitle(tr("About %1").arg(appName()));
    about->open();
  });
  connect(window.selectAllAction(), &QAction::triggered, &browser, &ImageBrowserView::selectAll);
  connect(window.moveSelectionToTrashAction(), &QAction::triggered, &browser,
          &ImageBrowserView::deleteSelectedItemsInIPhoto);
  connect(window.revealAction(), &QAction::triggered, &browser,
          &ImageBrowserView::revealSelectedItemsInIPhoto);
  connect(&browser, &ImageBrowserView::selectionChanged, this, &AppController::updateMenuItems);
  connect(window.editMenu(), &QMenu::aboutToShow, this, &AppController::updateMenuItems);
}

void AppController::updateMenuItems() {
  for (QAction* action : mainWindow_->editMenu()->actions())
    if (!action->isSeparator()) action->setEnabled(imageBrowser().validateMenuItem(*action));
}

ImageBrowserView& AppController::imageBrowser() const {
  return *mainWindow_->imageBrowser();
}

void AppController::applicationDidFinishLaunching() {
  QMenu* appMenu = mainWindow_->appMenu();
  auto* check = new QAction(tr("Check for Updates..."), appMenu);
  check->setMenuRole(QAction::NoRole);
  connect(check, &QAction::triggered, updater_, &SoftwareUpdater::checkForUpdates);
  appMenu->insertAction(appMenu->actions().value(1), check);
  mainWindow_->show();
  mainWindow_->raise();
  mainWindow_->activateWindow();
  QTimer::singleShot(kStartUpDelayMs, this, &AppController::startUp);
}

bool AppController::applicationShouldHandleReopen(bool) {
  if (!mainWindow_->isVisible()) {
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
  }
  return false;
}

void AppController::windowWillClose() {
  QTimer::singleShot(kQuitDelayMs, this, &AppController::quit);
}

bool AppController::iPhotoIsRunning() const {
  return environment_.isIPhotoRunning && environment_.isIPhotoRunning();
}

void AppController::quit() {
  if (scanning_) {
    quitRequested_ = true;
    cataloger_->cancelCataloging();
    return;
  }
  if (environment_.quitApplication) environment_.quitApplication();
}

void AppController::startUp() {
  if (startupState_ == 0) {
    startupState_ = 1;
    std::optional<std::string> path = defaults_->iPhotoRootDirectory();
    // A library moved or deleted since iPhoto last had it open is asked for like a missing one.
    if (path && !holdsAlbumData(*path)) {
      logWarn("iPhoto's RootDirectory %s holds no AlbumData.xml", path->c_str());
      path.reset();
    }
    if (!path) path = chooseLibrary();
    if (!path) return quit();
    setIPhotoLibraryPath(*path);
    cataloger_->setIPhotoLibraryPath(*path);
  }
  if (startupState_ == 1) {
    startupState_ = 2;
    if (defaults_->useAlbumDataXML() && iPhotoIsRunning()) {
      QMessageBox* sheet =
          alertSheet(tr("%1 will quit iPhoto.").arg(appName()),
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
  if (startupState_ != 2) return;
  startupState_ = 0;
  if (defaults_->useAlbumDataXML() && iPhotoIsRunning()) return quitIPhotoAndScan();
  startScan();
}

void AppController::startScan() {
  scanning_ = true;
  setBool(sliderEnabled_, false, &AppController::sliderEnabledChanged);
  setBool(addToAlbumButtonEnabled_, false, &AppController::addToAlbumButtonEnabledChanged);
  setBool(moveToTrashButtonEnabled_, false, &AppController::moveToTrashButtonEnabledChanged);
  imageBrowser().reloadData();
  cataloger_->start();
}

std::optional<std::string> AppController::chooseLibrary() {
  for (;;) {
    QFileDialog panel(mainWindow_.get(), tr("Select the iPhoto Library:"));
    panel.setObjectName("libraryOpenPanel");
    panel.setFileMode(QFileDialog::Directory);
    panel.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
    panel.setDirectory(QDir::homePath());
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return std::nullopt;
    std::string path = expandTilde(panel.selectedFiles().front().toStdString());
    if (holdsAlbumData(path)) return path;

    QMessageBox alert(QMessageBox::Warning, appName(),
                      tr("That doesn't look like an iPhoto Library."), QMessageBox::NoButton,
                      mainWindow_.get());
    alert.setObjectName("notALibraryAlert");
    setAlertKind(alert, AlertKind::Warning);
    QPushButton* tryAgain = alert.addButton(tr("Try Again"), QMessageBox::AcceptRole);
    alert.addButton(tr("Quit"), QMessageBox::RejectRole);
    alert.setDefaultButton(tryAgain);
    alert.exec();
    if (alert.clickedButton() != tryAgain) return std::nullopt;
  }
}

void AppController::setIPhotoLibraryPath(std::string path) {
  iPhotoLibraryPath_ = std::move(path);
  emit iPhotoLibraryNameChanged();
}

QString AppController::iPhotoLibraryName() const {
  return qText(lastPathComponent(iPhotoLibraryPath_));
}

void AppController::quitIPhotoSheetDidEnd(bool quitIPhoto) {
  if (!quitIPhoto) return quit();
  startUp();
}

void AppController::quitIPhotoAndScan() {
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

void AppController::pollIPhotoGone() {
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

void AppController::catalogingDidSucceed(std::uint64_t) {
  mainThread_.requireMainThread();
  scanning_ = false;
  if (quitRequested_) return quit();
  resetUIElements();
  if (!cataloger_->duplicatePhotos().empty()) {
    attachHelpBubble();
    return;
  }
  alertSheet(tr("No duplicates found"), QString(), "noDuplicatesAlert")->open();
}

void AppController::catalogingDidFail(const ErrorRecord& error) {
  mainThread_.requireMainThread();
  scanning_ = false;
  if (quitRequested_) return quit();
  if (error.isErrorWithDomain(Cataloger::errorDomain(), -7)) return quit();
  if (!defaults_->useAlbumDataXML()) {
    logPlain("got error (trying again): %s", error.description().c_str());
    defaults_->setUseAlbumDataXML(true);
    startUp();
    return;
  }
  QMessageBox alert(QMessageBox::Warning, appName(), qText(error.description()), QMessageBox::Ok,
                    mainWindow_.get());
  alert.setObjectName("scanErrorAlert");
  setAlertKind(alert, AlertKind::Warning);
  alert.exec();
  quit();
}

void AppController::setBool(bool& field, bool value, void (AppController::*changed)()) {
  field = value;
  emit(this->*changed)();
}

void AppController::resetUIElements() {
  duplicatesCount_ = cataloger_->duplicatePhotos().size();
  duplicatesCountDescription_ =
      qText(twinlens::duplicatesCountDescription(duplicatesCount_, localeGroupingSeparator()));
  emit duplicatesCountDescriptionChanged();
  bool any = duplicatesCount_ != 0;
  setBool(sliderEnabled_, any, &AppController::sliderEnabledChanged);
  setBool(addToAlbumButtonEnabled_, any, &AppController::addToAlbumButtonEnabledChanged);
  setBool(moveToTrashButtonEnabled_, any, &AppController::moveToTrashButtonEnabledChanged);
  imageBrowser().reloadData();
}

void AppController::setSelectDuplicatesInIPhoto(bool flag) {
  setBool(selectDuplicatesInIPhoto_, flag, &AppController::selectDuplicatesInIPhotoChanged);
}

void AppController::zoomSliderDidChange(int value) {
  QSlider* slider = mainWindow_->zoomSlider();
  double span = std::max(1, slider->maximum() - slider->minimum());
  imageBrowser().setZoomValue(static_cast<float>((value - slider->minimum()) / span));
  imageBrowser().viewport()->update();
}

void AppController::attachHelpBubble() {
  bool shown = applicationDefaults_ &&
               applicationDefaults_->booleanForKey(kHelpBubbleShownKey).value_or(false);
  if (shown || !applicationDefaults_) return;
  applicationDefaults_->setBoolean(true, kHelpBubbleShownKey);
  if (!applicationDefaults_->synchronize()) logError("failed to synchronize NSUserDefaults");
  auto* content = new QLabel(
      tr("<b>These are the duplicates.</b><br>Each grey group is one photo: the first copy is "
         "kept.<br>Click <i>Move Duplicates to iPhoto Trash</i> to move every other copy,<br>"
         "or select some and press Delete."));
  content->setTextFormat(Qt::RichText);
  QWidget* window = mainWindow_.get();
  QPoint point(10, window ? window->height() / 2 : 0);
  attachedWindow_ = new HelpBubble(content, window, point);
  attachedWindow_->showAndBounce();
}

void AppController::hideHelpBubble() {
  if (!attachedWindow_) return;
  attachedWindow_->hide();
  attachedWindow_->deleteLater();
  attachedWindow_ = nullptr;
}

std::size_t AppController::numberOfItemsInImageBrowser(ImageBrowserView&) {
  return scanning_ ? 0 : cataloger_->thumbnails().size();
}

const Thumbnail& AppController::imageBrowserItemAtIndex(ImageBrowserView&, std::size_t index) {
  return cataloger_->thumbnails().at(index);
}

std::size_t AppController::numberOfGroupsInImageBrowser(ImageBrowserView&) {
  return scanning_ ? 0 : cataloger_->duplicateGroups().size();
}

ImageBrowserGroup AppController::imageBrowserGroupAtIndex(ImageBrowserView&, std::size_t index) {
  return ImageBrowserGroup{0, kGroupBackground, cataloger_->duplicateGroups().at(index)};
}

IndexSet AppController::duplicatesIndexSet() {
  return scanning_ ? IndexSet() : cataloger_->duplicatesIndexSet();
}

void AppController::imageBrowserCellWasDoubleClickedAtIndex(ImageBrowserView&, std::size_t index) {
  revealItemsAtIndexes({index});
}

QMessageBox* AppController::alertSheet(const QString& text, const QString& informative,
                                       const char* name, AlertKind kind) {
  auto* box = new QMessageBox(mainWindow_.get());
  box->setObjectName(name);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::WindowModal);
  box->setWindowTitle(appName());
  box->setText(text);
  box->setInformativeText(informative);
  setAlertKind(*box, kind);
  return box;
}

bool AppController::mayActOnDuplicates() {
  if (scanning_) return false;
  ErrorRecord error;
  if (defaults_->isIPhotoLibrary(iPhotoLibraryPath_, &error)) return true;
  alertSheet(tr("iPhoto does not have this library open"), qText(error.description()),
             "otherLibraryAlert")
      ->open();
  return false;
}

void AppController::moveToTrash() {
  if (!mayActOnDuplicates()) return;
  scriptRunner_->setHideWarning(false);
  scriptRunner_->setWarning("Do not manipulate iPhoto while moving is in progress");
  const std::vector<std::shared_ptr<Photo>>& duplicates = cataloger_->duplicatePhotos();
  ScriptRunner::Scripts scripts;
  scripts.reserve(duplicates.size() + 2);
  scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
  for (const std::shared_ptr<Photo>& photo : duplicates) {
    auto move = std::make_shared<MoveToTrashScript>();
    move->addPhotoKey(photo->iPhotoKey());
    scripts.push_back(std::move(move));
  }
  scripts.push_back(std::make_shared<SelectLibraryAlbumScript>());
  std::size_t count = duplicates.size();
  scriptRunner_->setMessage(formatText("Moving %s item%s to Trash in %s",
                                       groupedCount(count).c_str(), pluralSuffix(count),
                                       lastPathComponent(iPhotoLibraryPath_).c_str()));
  scriptRunner_->setScripts(scripts);
  scriptRunner_->setCancelable(true);
  scriptRunner_->start();
}

void AppController::scriptRunnerDidFinish(ScriptRunner& runner) {
  ScriptRunner::Scripts failed = runner.failedScripts();
  if (failed.empty()) return showMoveToTrashCompleteWindow(runner);
  if (!runner.abortRequested()) {
    std::size_t photos = std::count_if(failed.begin(), failed.end(), [](const auto& script) {
      return dynamic_cast<MoveToTrashScript*>(script.get()) != nullptr;
    });
    QMessageBox* alert =
        alertSheet(tr("Failed to move some photos"),
                   qText(formatText("%lu photo%s could not be moved to the iPhoto Trash.",
                                    static_cast<unsigned long>(photos), pluralSuffix(photos))),
                   "moveToTrashErrorAlert", AlertKind::Warning);
    QPushButton* quitButton = alert->addButton(tr("Quit"), QMessageBox::AcceptRole);
    QPushButton* rescanButton = alert->addButton(tr("Rescan"), QMessageBox::RejectRole);
    alert->setDefaultButton(quitButton);
    connect(alert, &QMessageBox::finished, this, [this, alert, rescanButton] {
      didEndMoveToTrashErrorWindow(alert->clickedButton() == rescanButton);
    });
    alert->open();
    return;
  }
  std::size_t moved = photosMoved(runner);
  canceledWindow_ = alertSheet(
      tr("Moving to the iPhoto Trash was cancelled"),
      tr("%1 photo%2 moved to the iPhoto Trash before you cancelled; %3 could not be moved. "
         "Rescan to see what is left.")
          .arg(qText(groupedCount(moved)), moved == 1 ? tr(" was") : tr("s were"))
          .arg(failed.size()),
      "canceledWindow");
  QPushButton* rescanButton = canceledWindow_->addButton(tr("Rescan"), QMessageBox::AcceptRole);
  QPushButton* quitButton = canceledWindow_->addButton(tr("Quit"), QMessageBox::RejectRole);
  canceledWindow_->setDefaultButton(rescanButton);
  // The buttons end the sheet with their own return codes rather than QMessageBox's.
  rescanButton->disconnect();
  quitButton->disconnect();
  connect(rescanButton, &QPushButton::clicked, this, &AppController::cancelRescan);
  connect(quitButton, &QPushButton::clicked, this, &AppController::cancelQuit);
  connect(canceledWindow_, &QDialog::finished, this, &AppController::didEndCanceledWindow);
  canceledWindow_->open();
}

void AppController::showMoveToTrashCompleteWindow(const ScriptRunner& runner) {
  std::size_t moved = photosMoved(runner);
  std::size_t offered = cataloger_->duplicatePhotos().size();
  QString text = runner.abortRequested()
                     ? tr("Moved %1 of %2 photo%3 to the iPhoto Trash before you cancelled.")
                           .arg(qText(groupedCount(moved)), qText(groupedCount(offered)),
                                pluralSuffix(offered))
                     : tr("Moved %1 photo%2 to the iPhoto Trash.")
                           .arg(qText(groupedCount(moved)), pluralSuffix(moved));
  moveToTrashCompleteWindow_ =
      alertSheet(text,
                 tr("Empty the iPhoto Trash in iPhoto to delete them for good. %1 will now quit.")
                     .arg(appName()),
                 "moveToTrashCompleteWindow");
  QPushButton* done = moveToTrashCompleteWindow_->addButton(tr("Quit"), QMessageBox::AcceptRole);
  moveToTrashCompleteWindow_->setDefaultButton(done);
  done->disconnect();
  connect(done, &QPushButton::clicked, this, &AppController::moveToTrashComplete);
  connect(moveToTrashCompleteWindow_, &QDialog::finished, this,
          &AppController::didEndMoveToTrashCompleteWindow);
  moveToTrashCompleteWindow_->open();
}

void AppController::moveToTrashComplete() {
  if (moveToTrashCompleteWindow_) moveToTrashCompleteWindow_->done(0);
}

void AppController::didEndMoveToTrashCompleteWindow() {
  quit();
}

void AppController::didEndMoveToTrashErrorWindow(bool rescan) {
  if (!rescan) return quit();
  startUp();
}

void AppController::cancelRescan() {
  if (canceledWindow_) canceledWindow_->done(1);
}

void AppController::cancelQuit() {
  if (canceledWindow_) canceledWindow_->done(0);
}

void AppController::didEndCanceledWindow(int returnCode) {
  if (returnCode == 1) return startUp();
  quit();
}

void AppController::deleteItemsAtIndexes(const IndexSet& indexes) {
  if (!mayActOnDuplicates()) return;
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
    alertSheet(qText(moveError.description()), QString(), "moveSelectionErrorAlert",
               AlertKind::Warning)
        ->open();
  cataloger_->removePhotosForIPhotoKeys(keys);
  resetUIElements();
}

void AppController::revealItemsAtIndexes(const IndexSet& indexes) {
  if (indexes.empty() || !mayActOnDuplicates()) return;
  if (indexes.size() >= 2)
    TL_LOG_DEBUG(this,
                 "ignoring additional indexes because iPhoto won't select more than one "
                 "via AppleScript");
  std::size_t lowest = *std::min_element(indexes.begin(), indexes.end());
  const std::vector<Thumbnail>& thumbnails = cataloger_->thumbnails();
  if (lowest >= thumbnails.size()) return;
  ErrorRecord error;
  if (SelectPhotoScript(thumbnails[lowest].iPhotoKey()).execute(&error)) return;
  logError("error selecting photo in iPhoto: %s", error.description().c_str());
  alertSheet(tr("Error selecting photo"), qText(error.description()), "revealErrorAlert",
             AlertKind::Warning)
      ->open();
}

void AppController::showHelp() {
  QString book = qText(TwinlensApp::infoValue("CFBundleHelpBookName").value_or(""));
  // Next to the executable in the build tree, under share/ once installed.
  QString folder = QCoreApplication::applicationDirPath() + "/help";
  if (!QFileInfo::exists(folder)) folder += "/../../share/twinlens/help";
  QUrl page = QUrl::fromLocalFile(QDir::cleanPath(folder) + "/index.html");
  page.setFragment("Home");
  if (environment_.openURL && environment_.openURL(page)) return;
  logInfo("no browser opened the help book %s; showing it here", book.toUtf8().constData());
  HelpWindow::showPage(mainWindow_.get(), page);
}

void AppController::visitTwinlensWebSite() {
  QUrl page(qText(TwinlensApp::infoValue("TwinlensProductURL").value_or("")));
  if (environment_.openURL && environment_.openURL(page)) return;
  QMessageBox* alert =
      alertSheet(tr("The %1 web site could not be opened.").arg(appName()),
                 tr("No web browser opened it. Its address is:\n%1").arg(page.toString()),
                 "webSiteAlert", AlertKind::Warning);
  makeAlertTextSelectable(*alert);
  alert->open();
}

void AppController::sendFeedback() {
  if (environment_.showFeedback) return environment_.showFeedback(mainWindow_.get());
  alertSheet(tr("Feedback is not available in this build."), QString(), "feedbackAlert")->open();
}

}  // namespace twinlens
