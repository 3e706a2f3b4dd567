#pragma once

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;

namespace twinlens {

class ImageBrowserView;
class UserDefaults;

// The main window: the browser of duplicates over a bar with the zoom slider, the count of
// duplicates and the move-to-trash button, and the menus. It holds no state of its own; the
// controller sets what it shows.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

  // The window's size and place, kept in the user's preferences under "mainWindowGeometry" from
  // one run to the next; a missing or damaged value leaves the window as it is.
  void restoreFrameFromDefaults(UserDefaults& defaults);
  void saveFrameInDefaults(UserDefaults& defaults) const;
  // Names the trash and the reveal after the kind of library shown: the desktop's for a folder,
  // iPhoto's for an iPhoto library.
  void setFolderMode(bool folder);

  ImageBrowserView* imageBrowser() const { return imageBrowser_; }
  QSlider* zoomSlider() const { return zoomSlider_; }
  QLabel* countLabel() const { return countLabel_; }
  QLabel* libraryLabel() const { return libraryLabel_; }
  QPushButton* moveToTrashButton() const { return moveToTrashButton_; }

  QMenu* appMenu() const { return appMenu_; }
  QMenu* editMenu() const { return editMenu_; }
  QMenu* helpMenu() const { return helpMenu_; }
  QAction* aboutAction() const { return aboutAction_; }
  QAction* rescanAction() const { return rescanAction_; }
  QAction* quitAction() const { return quitAction_; }
  QAction* openFolderAction() const { return openFolderAction_; }
  QAction* closeAction() const { return closeAction_; }
  QAction* selectAllAction() const { return selectAllAction_; }
  QAction* moveSelectionToTrashAction() const { return moveSelectionToTrashAction_; }
  QAction* revealAction() const { return revealAction_; }
  QAction* helpAction() const { return helpAction_; }
  QAction* webSiteAction() const { return webSiteAction_; }
  QAction* feedbackAction() const { return feedbackAction_; }

 signals:
  void windowWillClose();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  QWidget* buildBottomBar();

  ImageBrowserView* imageBrowser_;
  QSlider* zoomSlider_ = nullptr;
  QLabel* countLabel_ = nullptr;
  QLabel* libraryLabel_ = nullptr;
  QPushButton* moveToTrashButton_ = nullptr;
  QMenu* appMenu_ = nullptr;
  QMenu* editMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* rescanAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* openFolderAction_ = nullptr;
  QAction* closeAction_ = nullptr;
  QAction* selectAllAction_ = nullptr;
  QAction* moveSelectionToTrashAction_ = nullptr;
  QAction* revealAction_ = nullptr;
  QAction* helpAction_ = nullptr;
  QAction* webSiteAction_ = nullptr;
  QAction* feedbackAction_ = nullptr;
};

}  // namespace twinlens
