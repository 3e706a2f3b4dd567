#include "app/app_controller.hpp"

#include <QAction>
#include <QCoreApplication>
#if TWINLENS_HAVE_QTDBUS
#include <QDBusInterface>
#endif
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <algorithm>

#include "app/browser/count_text.hpp"
#include "app/browser/duplicates_browser_source.hpp"
#include "app/help_bubble.hpp"
#include "app/help_window.hpp"
#include "app/main_window.hpp"
#include "app/sheets/alert_style.hpp"
#include "app/sheets/cataloging_sheet.hpp"
#include "app/sheets/script_runner_sheet.hpp"
#include "app/start_up_sequence.hpp"
#include "app/trash_flow.hpp"
#include "app/update/software_updater.hpp"
#include "catalog/defaults.hpp"
#include "catalog/duplicate_results.hpp"
#include "io/file_helpers.hpp"
#include "platform/process.hpp"
#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr const char* kIPhotoBundleIdentifier = "com.apple.iPhoto";
constexpr const char* kLogLevelKey = "logLevel";
constexpr const char* kHelpBubbleShownKey = "helpBubbleShown";
constexpr int kStartUpDelayMs = 100;
constexpr int kQuitDelayMs = 100;

QString qText(const std::string& text) {
  return QString::fromStdString(text);
}

QString appName() {
  return qText(TwinlensApp::appName());
}

bool showItemInFileManager(const QString& path) {
#if TWINLENS_HAVE_QTDBUS
  constexpr int kFileManagerTimeoutMs = 3000;
  QDBusInterface fileManager("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                             "org.freedesktop.FileManager1");
  if (!fileManager.isValid()) return false;
  fileManager.setTimeout(kFileManagerTimeoutMs);
  QDBusMessage reply = fileManager.call(
      "ShowItems", QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)}, QString());
  return reply.type() == QDBusMessage::ReplyMessage;
#else
  (void)path;
  return false;
#endif
}

}  // namespace

AppController::Environment AppController::standardEnvironment() {
  Environment environment;
  environment.isIPhotoRunning = [] {
    return Process::isProcessRunningWithBundleIdentifier(kIPhotoBundleIdentifier);
  };
  environment.quitApplication = [] { QCoreApplication::quit(); };
  environment.openURL = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  environment.showInFileManager = showItemInFileManager;
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
      mainWindow_(std::make_unique<MainWindow>()),
      startUpSequence_(std::make_unique<StartUpSequence>(*this, mainThread_, defaults_, cataloger_,
                                                         environment_.isIPhotoRunning)),
      trashFlow_(std::make_unique<TrashFlow>(*this, defaults_, cataloger_, scriptRunner_)),
      browserSource_(std::make_unique<DuplicatesBrowserSource>(
          cataloger_, [this] { return startUpSequence_->scanning(); })) {
  catalogingSheet_ = new CatalogingSheet(mainWindow_.get(), cataloger_);
  scriptRunnerSheet_ = new ScriptRunnerSheet(mainWindow_.get(), scriptRunner_);
  cataloger_->setDelegate(startUpSequence_.get());
  cataloger_->setView(catalogingSheet_);
  cataloger_->setChangeCallback([sheet = catalogingSheet_](std::string_view property) {
    sheet->catalogerDidChange(property);
  });
  scriptRunner_->setDelegate(trashFlow_.get());
  scriptRunner_->setView(scriptRunnerSheet_);
  scriptRunner_->setChangeCallback([sheet = scriptRunnerSheet_](std::string_view property) {
    sheet->runnerDidChange(property);
  });
  updater_ =
      new SoftwareUpdater(mainWindow_.get(), environment_.updateFeedURL.isEmpty()
                                                 ? std::nullopt
                                                 : std::optional(environment_.updateFeedURL));
  awakeFromNib();
  if (applicationDefaults_) mainWindow_->restoreFrameFromDefaults(*applicationDefaults_);
}

AppController::~AppController() {
  if (applicationDefaults_) {
    mainWindow_->saveFrameInDefaults(*applicationDefaults_);
    if (!applicationDefaults_->synchronize()) logError("failed to keep the window's frame");
  }
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
  browser.setDataSource(browserSource_.get());
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
  connect(window.openFolderAction(), &QAction::triggered, this, &AppController::chooseFolder);
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

void AppController::quit() {
  if (startUpSequence_->deferQuitToScanEnd()) return;
  if (environment_.quitApplication) environment_.quitApplication();
}

void AppController::startUp() {
  startUpSequence_->startUp();
}

void AppController::setFolderToScan(const std::string& path) {
  startUpSequence_->setFolderToScan(path);
}

void AppController::chooseFolder() {
  if (isScanning() || trashFlow_->isMoving()) return;
  QString folder =
      QFileDialog::getExistingDirectory(mainWindow_.get(), tr("Open Folder"), QDir::homePath());
  if (!folder.isEmpty()) openFolder(folder.toStdString());
}

void AppController::openFolder(const std::string& path) {
  if (isScanning() || trashFlow_->isMoving()) return;
  setFolderToScan(path);
  startUp();
}

void AppController::updateOpenFolderAction() {
  mainWindow_->openFolderAction()->setEnabled(!isScanning() && !trashFlow_->isMoving());
}

void AppController::showInFileManager(const std::string& path) {
  QString file = qText(path);
  if (environment_.showInFileManager && environment_.showInFileManager(file)) return;
  QUrl folder = QUrl::fromLocalFile(QFileInfo(file).absolutePath());
  if (!environment_.openURL || !environment_.openURL(folder))
    logError("no file manager showed %s", path.c_str());
}

std::uint32_t AppController::startupState() const {
  return startUpSequence_->state();
}

bool AppController::isScanning() const {
  return startUpSequence_->scanning();
}

QDialog& AppController::quittingIPhotoWindow() const {
  return startUpSequence_->quittingIPhotoWindow();
}

void AppController::catalogingDidSucceed(std::uint64_t photoCount) {
  startUpSequence_->catalogingDidSucceed(photoCount);
}

void AppController::catalogingDidFail(const ErrorRecord& error) {
  startUpSequence_->catalogingDidFail(error);
}

void AppController::setIPhotoLibraryPath(std::string path) {
  iPhotoLibraryPath_ = std::move(path);
  mainWindow_->setFolderMode(cataloger_->isFolder());
  emit iPhotoLibraryNameChanged();
}

QString AppController::iPhotoLibraryName() const {
  return qText(lastPathComponent(iPhotoLibraryPath_));
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
  setResultsControlsEnabled(duplicatesCount_ != 0);
}

void AppController::setResultsControlsEnabled(bool enabled) {
  setBool(sliderEnabled_, enabled, &AppController::sliderEnabledChanged);
  setBool(addToAlbumButtonEnabled_, enabled, &AppController::addToAlbumButtonEnabledChanged);
  setBool(moveToTrashButtonEnabled_, enabled, &AppController::moveToTrashButtonEnabledChanged);
  updateOpenFolderAction();
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
         "kept.<br>Click <i>%1</i> to move every other copy,<br>or select some and press Delete.")
          .arg(mainWindow_->moveToTrashButton()->text()));
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

IndexSet AppController::duplicatesIndexSet() {
  return browserSource_->duplicatesIndexSet();
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

void AppController::moveToTrash() {
  trashFlow_->moveToTrash();
}

void AppController::moveToTrashComplete() {
  trashFlow_->moveToTrashComplete();
}

void AppController::cancelRescan() {
  trashFlow_->cancelRescan();
}

void AppController::cancelQuit() {
  trashFlow_->cancelQuit();
}

void AppController::deleteItemsAtIndexes(const IndexSet& indexes) {
  trashFlow_->deleteItemsAtIndexes(indexes);
}

void AppController::revealItemsAtIndexes(const IndexSet& indexes) {
  trashFlow_->revealItemsAtIndexes(indexes);
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
