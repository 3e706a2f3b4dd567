#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

#include "catalog/thumbnail.hpp"

class QAction;

namespace twinlens {

class ImageBrowserView;
class ThumbnailLoader;

// Browser item indexes, ascending and without repeats.
using IndexSet = std::vector<std::size_t>;

// How the browser draws one group: style 0 is the rounded bezel behind the group's items.
struct ImageBrowserGroup {
  int style = 0;
  QColor backgroundColor;
  DuplicateGroup range;
};

// Where the browser's items and groups come from; asked again on every reload.
class ImageBrowserDataSource {
 public:
  virtual ~ImageBrowserDataSource() = default;
  virtual std::size_t numberOfItemsInImageBrowser(ImageBrowserView& browser) = 0;
  virtual const Thumbnail& imageBrowserItemAtIndex(ImageBrowserView& browser,
                                                   std::size_t index) = 0;
  virtual std::size_t numberOfGroupsInImageBrowser(ImageBrowserView& browser) = 0;
  virtual ImageBrowserGroup imageBrowserGroupAtIndex(ImageBrowserView& browser,
                                                     std::size_t index) = 0;
  // What Select All selects.
  virtual IndexSet duplicatesIndexSet() = 0;
  // Lines the item's tooltip shows below its title and subtitle; none by default.
  virtual QString imageBrowserItemDetailsAtIndex(ImageBrowserView&, std::size_t) { return {}; }
};

// Told what the user does in the browser.
class ImageBrowserDelegate {
 public:
  virtual ~ImageBrowserDelegate() = default;
  virtual void imageBrowserSelectionDidChange(ImageBrowserView&) {}
  virtual void imageBrowserCellWasDoubleClickedAtIndex(ImageBrowserView& browser,
                                                       std::size_t index) = 0;
  virtual void imageBrowserCellWasRightClickedAtIndex(ImageBrowserView&, std::size_t) {}
  virtual void deleteItemsAtIndexes(const IndexSet& indexes) = 0;
  virtual void revealItemsAtIndexes(const IndexSet& indexes) = 0;
  virtual void hideHelpBubble() = 0;
};

// The browser of duplicates: a grid of thumbnails with their titles and subtitles (elided to the
// thumbnail's width, whole in the item's tooltip), laid out group after group, each group on a
// rounded bezel with its kept photo first. An item without a readable thumbnail shows a
// placeholder naming its file type. Only the rows in view are drawn and only their images are
// decoded (off the main thread), so a browser of tens of thousands of items opens at once.
// Selection by click, Shift-click, Ctrl-click and rubber band; Delete moves the selection to
// iPhoto's trash; every other key is dropped.
class ImageBrowserView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  static constexpr int kSelectAllTag = 100;
  static constexpr int kMoveToTrashTag = 101;
  static constexpr int kRevealTag = 102;

  explicit ImageBrowserView(QWidget* parent = nullptr);
  ~ImageBrowserView() override;

  void setDataSource(ImageBrowserDataSource* dataSource) { dataSource_ = dataSource; }
  void setDelegate(ImageBrowserDelegate* delegate) { delegate_ = delegate; }

  // Asks the data source for every count, item and group again; the selection is cleared.
  void reloadData();
  std::size_t itemCount() const { return itemCount_; }
  std::size_t groupCount() const { return groupCount_; }

  // 0 (smallest cells) to 1 (largest).
  void setZoomValue(float zoom);
  float zoomValue() const { return zoom_; }

  IndexSet selectionIndexes() const;
  // Replaces the selection, or adds to it when `extend`.
  void setSelectionIndexes(const IndexSet& indexes, bool extend = false);

  // Enabling of a menu item by its tag (an int in the action's data); see the tag constants.
  bool validateMenuItem(int tag) const;
  bool validateMenuItem(const QAction& item) const;
  void selectAll();
  void deleteSelectedItemsInIPhoto();
  void revealSelectedItemsInIPhoto();

  // Geometry, in viewport coordinates at the current scroll position.
  QRect itemFrame(std::size_t index) const;
  std::optional<std::size_t> indexOfItemAtPoint(QPoint point) const;
  // The bezel of group `index` as drawn (there is none for items outside every group).
  QRect groupFrame(std::size_t index) const;
  int contentHeight() const { return contentHeight_; }

  // The item's whole title and subtitle, which its cell may have elided, and the data source's
  // details of it, one to a line: what its tooltip shows.
  QString toolTipAtIndex(std::size_t index);

  ThumbnailLoader& thumbnailLoader() { return *loader_; }
  // Scrolls so that the item is in view.
  void scrollToItem(std::size_t index);

 signals:
  void selectionChanged();
  void dataReloaded();
  // After each paint of the viewport; the benchmark waits for it.
  void painted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Shows the hovered item's toolTipAtIndex().
  bool viewportEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  // A run of items drawn together: a group from the data source, or the items between groups.
  struct Block {
    std::size_t location = 0;
    std::size_t length = 0;
    bool bezel = false;
    QColor background;
    int top = 0;  // content coordinates
    int height = 0;
  };

  void layoutBlocks();
  void updateScrollBar();
  int thumbSide() const;
  QSize cellSize() const;
  int columns() const;
  QRect contentFrame(std::size_t index) const;
  const Block* blockOfItem(std::size_t index) const;
  IndexSet itemsInContentRect(const QRect& rect) const;
  void paintBlock(QPainter& painter, const Block& block, const QRect& visible, QStringList& wanted);
  void paintItem(QPainter& painter, std::size_t index, const QRect& frame, QStringList& wanted);
  void changeSelection(std::vector<char> selected);
  QPoint contentPoint(QPoint viewportPoint) const;

  ImageBrowserDataSource* dataSource_ = nullptr;
  ImageBrowserDelegate* delegate_ = nullptr;
  std::unique_ptr<ThumbnailLoader> loader_;
  std::size_t itemCount_ = 0;
  std::size_t groupCount_ = 0;
  std::vector<Block> blocks_;
  int contentHeight_ = 0;
  float zoom_ = 0.3f;

  std::vector<char> selected_;
  std::optional<std::size_t> anchor_;
  // A drag that began on empty space draws a rubber band over what it selects.
  std::optional<QPoint> bandOrigin_;  // content coordinates
  QRect band_;
  std::vector<char> selectionBeforeBand_;
  bool bandToggles_ = false;
  // A press on a selected item keeps the selection until release, so a drag could move it.
  std::optional<std::size_t> pendingSingleSelection_;
};

}  // namespace twinlens
