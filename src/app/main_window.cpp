#include "app/main_window.hpp"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/browser/image_browser_view.hpp"
#include "platform/user_defaults.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {
constexpr const char* kGeometryKey = "mainWindowGeometry";
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), imageBrowser_(new ImageBrowserView) {
  setObjectName("mainWindow");
  QString appName = QString::fromStdString(TwinlensApp::appName());
  setWindowTitle(appName);
  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  libraryLabel_ = new QLabel;
  libraryLabel_->setObjectName("libraryLabel");
  libraryLabel_->setContentsMargins(12, 6, 12, 6);
  layout->addWidget(libraryLabel_);
  imageBrowser_->setFrameShape(QFrame::NoFrame);
  // Room for a row of the smallest cells, however small the window is made.
  imageBrowser_->setMinimumHeight(200);
  layout->addWidget(imageBrowser_, 1);
  layout->addWidget(buildBottomBar());
  setCentralWidget(central);
  buildMenus();
  resize(900, 640);
}

QWidget* MainWindow::buildBottomBar() {
  auto* bar = new QFrame;
  bar->setObjectName("bottomBar");
  bar->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(12, 8, 12, 8);
  zoomSlider_ = new QSlider(Qt::Horizontal);
  zoomSlider_->setObjectName("zoomSlider");
  zoomSlider_->setRange(0, 100);
  zoomSlider_->setValue(static_cast<int>(imageBrowser_->zoomValue() * 100));
  zoomSlider_->setFixedWidth(140);
  zoomSlider_->setToolTip(tr("Thumbnail size"));
  countLabel_ = new QLabel;
  countLabel_->setObjectName("countLabel");
  countLabel_->setAlignment(Qt::AlignCenter);
  moveToTrashButton_ = new QPushButton(tr("Move Duplicates to iPhoto Trash"));
  moveToTrashButton_->setObjectName("moveToTrashButton");
  row->addWidget(zoomSlider_);
  row->addWidget(countLabel_, 1);
  row->addWidget(moveToTrashButton_);
  return bar;
}

void MainWindow::buildMenus() {
  QString appName = QString::fromStdString(TwinlensApp::appName());
  appMenu_ = menuBar()->addMenu(appName);
  aboutAction_ = appMenu_->addAction(tr("About %1").arg(appName));
  aboutAction_->setMenuRole(QAction::NoRole);
  appMenu_->addSeparator();
  rescanAction_ = appMenu_->addAction(tr("Rescan"));
  rescanAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  appMenu_->addSeparator();
  quitAction_ = appMenu_->addAction(tr("Quit %1").arg(appName));
  quitAction_->setShortcut(QKeySequence::Quit);
  quitAction_->setMenuRole(QAction::NoRole);

  QMenu* fileMenu = menuBar()->addMenu(tr("File"));
  openFolderAction_ = fileMenu->addAction(tr("Open Folder…"));
  openFolderAction_->setShortcut(QKeySequence::Open);
  closeAction_ = fileMenu->addAction(tr("Close Window"));
  closeAction_->setShortcut(QKeySequence::Close);
  connect(closeAction_, &QAction::triggered, this, &QWidget::close);

  editMenu_ = menuBar()->addMenu(tr("Edit"));
  selectAllAction_ = editMenu_->addAction(tr("Select All Duplicates"));
  selectAllAction_->setShortcut(QKeySequence::SelectAll);
  selectAllAction_->setData(ImageBrowserView::kSelectAllTag);
  moveSelectionToTrashAction_ = editMenu_->addAction(tr("Move Selection to iPhoto Trash"));
  moveSelectionToTrashAction_->setData(ImageBrowserView::kMoveToTrashTag);
  revealAction_ = editMenu_->addAction(tr("Reveal in iPhoto"));
  revealAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  revealAction_->setData(ImageBrowserView::kRevealTag);
  for (QAction* action : {selectAllAction_, moveSelectionToTrashAction_, revealAction_}) {
    action->setShortcutContext(Qt::WindowShortcut);
    action->setEnabled(false);
  }

  helpMenu_ = menuBar()->addMenu(tr("Help"));
  helpAction_ = helpMenu_->addAction(tr("%1 Help").arg(appName));
  helpAction_->setShortcut(QKeySequence::HelpContents);
  webSiteAction_ = helpMenu_->addAction(tr("%1 Web Site").arg(appName));
  helpMenu_->addSeparator();
  feedbackAction_ = helpMenu_->addAction(tr("Send Feedback..."));
}

void MainWindow::restoreFrameFromDefaults(UserDefaults& defaults) {
  std::optional<std::string> saved = defaults.stringForKey(kGeometryKey);
  if (saved) restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(*saved)));
}

void MainWindow::saveFrameInDefaults(UserDefaults& defaults) const {
  defaults.setString(saveGeometry().toBase64().toStdString(), kGeometryKey);
}

void MainWindow::setFolderMode(bool folder) {
  moveToTrashButton_->setText(folder ? tr("Move Duplicates to Trash")
                                     : tr("Move Duplicates to iPhoto Trash"));
  moveSelectionToTrashAction_->setText(folder ? tr("Move Selection to Trash")
                                              : tr("Move Selection to iPhoto Trash"));
  revealAction_->setText(folder ? tr("Show in File Manager") : tr("Reveal in iPhoto"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit windowWillClose();
  event->accept();
}

}  // namespace twinlens
