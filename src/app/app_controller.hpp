#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/browser/image_browser_view.hpp"
#include "app/help_bubble.hpp"
#include "app/qt_main_thread.hpp"
#include "app/sheets/alert_style.hpp"
#include "catalog/cataloger.hpp"
#include "iphoto/script_runner.hpp"

class QDialog;

namespace twinlens {

class CatalogingSheet;
class Defaults;
class DuplicatesBrowserSource;
class MainWindow;
class ScriptRunnerSheet;
class SoftwareUpdater;
class StartUpSequence;
class TrashFlow;
class UserDefaults;

// The application's controller: builds the window and its sheets, keeps the window's state (the
// count, the library's name, which controls are enabled, the help bubble) and answers its menus
// and the browser's delegate. The start-up sequence, the moves to the trash and the browser's data
// source are parts it owns and wires up; its operations of the same names hand over to them.
// Main thread only.
class AppController : public QObject, public ImageBrowserDelegate {
  Q_OBJECT
  Q_PROPERTY(QString duplicatesCountDescription READ duplicatesCountDescription NOTIFY
                 duplicatesCountDescriptionChanged)
  Q_PROPERTY(QString iPhotoLibraryName READ iPhotoLibraryName NOTIFY iPhotoLibraryNameChanged)
  Q_PROPERTY(bool sliderEnabled READ sliderEnabled NOTIFY sliderEnabledChanged)
  Q_PROPERTY(bool addToAlbumButtonEnabled READ addToAlbumButtonEnabled NOTIFY
                 addToAlbumButtonEnabledChanged)
  Q_PROPERTY(bool moveToTrashButtonEnabled READ moveToTrashButtonEnabled NOTIFY
                 moveToTrashButtonEnabledChanged)
  Q_PROPERTY(bool selectDuplicatesInIPhoto READ selectDuplicatesInIPhoto WRITE
                 setSelectDuplicatesInIPhoto NOTIFY selectDuplicatesInIPhotoChanged)
  Q_PROPERTY(bool hideAlreadyInAlbumMessage READ hideAlreadyInAlbumMessage CONSTANT)
  Q_PROPERTY(QString addToAlbumButtonLabel READ addToAlbumButtonLabel CONSTANT)

 public:
  // What the controller needs of the desktop around it; tests put their own in place.
  struct Environment {
    std::function<bool()> isIPhotoRunning;
    // Ends the application's event loop.
    std::function<void()> quitApplication;
    std::function<bool(const QUrl&)> openURL;
    // Shows a file selected in the desktop's file manager; false when none answered.
    std::function<bool(const QString& path)> showInFileManager;
    // The feedback reporter's window, when the build has one.
    std::function<void(QWidget* window)> showFeedback;
    // Where "Check for Updates..." looks; the information dictionary's "SUFeedURL" when empty.
    QUrl updateFeedURL;
  };
  // The desktop's own: /proc for iPhoto, QCoreApplication::quit, QDesktopServices, the
  // freedesktop.org FileManager1 service.
  static Environment standardEnvironment();

  // init and awakeFromNib: builds the window and its sheets, reads "logLevel".
  AppController(QtMainThread& mainThread, std::shared_ptr<Defaults> defaults,
                std::shared_ptr<UserDefaults> applicationDefaults,
                Environment environment = standardEnvironment());
  // Cancels a scan still running and waits for its worker, which uses the main thread.
  ~AppController() override;

  void applicationDidFinishLaunching();
  bool applicationShouldHandleReopen(bool hasVisibleWindows);
  void windowWillClose();

  void startUp();
  // What the next startUp() scans: a folder holding "AlbumData.xml" as iPhoto's library, any
  // other as a folder of photos.
  void setFolderToScan(const std::string& path);
  // File > Open Folder: asks for a folder, then scans it as setFolderToScan() says.
  void chooseFolder();
  void openFolder(const std::string& path);
  // Open Folder is enabled unless a scan or a move runs.
  void updateOpenFolderAction();
  // Selects the file in the desktop's file manager, else opens its folder.
  void showInFileManager(const std::string& path);
  std::uint32_t startupState() const;
  bool isScanning() const;
  // A scan still running is cancelled first; its end quits.
  void quit();

  // Menu and window actions.
  void rescan() { startUp(); }
  void showHelp();
  void visitTwinlensWebSite();
  void sendFeedback();
  void moveToTrash();
  void zoomSliderDidChange(int value);

  // Sheets' buttons and ends.
  void moveToTrashComplete();
  void cancelRescan();
  void cancelQuit();

  // The Cataloger's callbacks, which the start-up sequence answers.
  void catalogingDidSucceed(std::uint64_t photoCount);
  void catalogingDidFail(const ErrorRecord& error);

  // The browser's data source's answer, and its delegate.
  IndexSet duplicatesIndexSet();
  void imageBrowserCellWasDoubleClickedAtIndex(ImageBrowserView& browser,
                                               std::size_t index) override;
  void deleteItemsAtIndexes(const IndexSet& indexes) override;
  void revealItemsAtIndexes(const IndexSet& indexes) override;
  void hideHelpBubble() override;

  void resetUIElements();
  // Enables the slider and the buttons, or not, and reloads the browser.
  void setResultsControlsEnabled(bool enabled);
  void attachHelpBubble();
  // A window-modal alert on the main window, deleted when it closes.
  QMessageBox* alertSheet(const QString& text, const QString& informative, const char* name,
                          AlertKind kind = AlertKind::Information);

  QString duplicatesCountDescription() const { return duplicatesCountDescription_; }
  std::uint64_t duplicatesCount() const { return duplicatesCount_; }
  QString iPhotoLibraryName() const;
  const std::string& iPhotoLibraryPath() const { return iPhotoLibraryPath_; }
  void setIPhotoLibraryPath(std::string path);
  bool sliderEnabled() const { return sliderEnabled_; }
  bool addToAlbumButtonEnabled() const { return addToAlbumButtonEnabled_; }
  bool moveToTrashButtonEnabled() const { return moveToTrashButtonEnabled_; }
  bool selectDuplicatesInIPhoto() const { return selectDuplicatesInIPhoto_; }
  void setSelectDuplicatesInIPhoto(bool flag);
  bool hideAlreadyInAlbumMessage() const { return false; }
  QString addToAlbumButtonLabel() const { return {}; }

  MainWindow& mainWindow() const { return *mainWindow_; }
  ImageBrowserView& imageBrowser() const;
  Cataloger& cataloger() const { return *cataloger_; }
  ScriptRunner& scriptRunner() const { return *scriptRunner_; }
  CatalogingSheet& catalogingSheet() const { return *catalogingSheet_; }
  ScriptRunnerSheet& scriptRunnerSheet() const { return *scriptRunnerSheet_; }
  QDialog& quittingIPhotoWindow() const;
  SoftwareUpdater& updater() const { return *updater_; }
  // Present only while the help bubble is shown.
  HelpBubble* attachedWindow() const { return attachedWindow_; }

 signals:
  void duplicatesCountDescriptionChanged();
  void iPhotoLibraryNameChanged();
  void sliderEnabledChanged();
  void addToAlbumButtonEnabledChanged();
  void moveToTrashButtonEnabledChanged();
  void selectDuplicatesInIPhotoChanged();

 private:
  void awakeFromNib();
  void bindWindow();
  void updateMenuItems();
  void setBool(bool& field, bool value, void (AppController::*changed)());

  QtMainThread& mainThread_;
  std::shared_ptr<Defaults> defaults_;
  std::shared_ptr<UserDefaults> applicationDefaults_;
  Environment environment_;
  std::shared_ptr<Cataloger> cataloger_;
  std::shared_ptr<ScriptRunner> scriptRunner_;
  std::unique_ptr<MainWindow> mainWindow_;
  std::unique_ptr<StartUpSequence> startUpSequence_;
  std::unique_ptr<TrashFlow> trashFlow_;
  std::unique_ptr<DuplicatesBrowserSource> browserSource_;
  CatalogingSheet* catalogingSheet_ = nullptr;
  ScriptRunnerSheet* scriptRunnerSheet_ = nullptr;
  QPointer<HelpBubble> attachedWindow_;
  SoftwareUpdater* updater_ = nullptr;

  std::string iPhotoLibraryPath_;
  QString duplicatesCountDescription_;
  std::uint64_t duplicatesCount_ = 0;
  bool sliderEnabled_ = false;
  bool addToAlbumButtonEnabled_ = false;
  bool moveToTrashButtonEnabled_ = false;
  bool selectDuplicatesInIPhoto_ = false;
};

}  // namespace twinlens
