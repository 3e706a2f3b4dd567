#pragma once

#include <QTextBrowser>
#include <QUrl>

namespace twinlens {

// The help book in a window of the application's own, for a desktop that cannot open it in a
// web browser. Links within the book stay in the window; links out go to the desktop.
class HelpWindow : public QTextBrowser {
  Q_OBJECT

 public:
  // Shows `page` (a local HTML file, its fragment naming the anchor) in the help window of
  // `parent` (not null), which is made on first use and kept while `parent` lives.
  static HelpWindow* showPage(QWidget* parent, const QUrl& page);

 private:
  explicit HelpWindow(QWidget* parent);
};

}  // namespace twinlens
