#include "app/help_window.hpp"

#include "shared/twinlens_app.hpp"

namespace twinlens {

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
  setObjectName("helpWindow");
  setWindowFlag(Qt::Window);
  setWindowTitle(tr("%1 Help").arg(QString::fromStdString(TwinlensApp::appName())));
  setOpenExternalLinks(true);
  resize(680, 560);
}

HelpWindow* HelpWindow::showPage(QWidget* parent, const QUrl& page) {
  auto* window = parent->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (!window) window = new HelpWindow(parent);
  window->setSource(page);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace twinlens
