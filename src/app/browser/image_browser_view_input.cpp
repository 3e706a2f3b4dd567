#include "app/browser/image_browser_view.hpp"

// The view's selection, its menu items and what the mouse and the keyboard do to them.

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <algorithm>

namespace twinlens {

IndexSet ImageBrowserView::selectionIndexes() const {
  IndexSet indexes;
  for (std::size_t i = 0; i < selected_.size(); ++i)
    if (selected_[i]) indexes.push_back(i);
  return indexes;
}

void ImageBrowserView::setSelectionIndexes(const IndexSet& indexes, bool extend) {
  std::vector<char> selected = extend ? selected_ : std::vector<char>(itemCount_, 0);
  for (std::size_t i : indexes)
    if (i < itemCount_) selected[i] = 1;
  changeSelection(std::move(selected));
}

void ImageBrowserView::changeSelection(std::vector<char> selected) {
  if (selected == selected_) return;
  selected_ = std::move(selected);
  viewport()->update();
  if (delegate_) delegate_->imageBrowserSelectionDidChange(*this);
  emit selectionChanged();
}

bool ImageBrowserView::validateMenuItem(int tag) const {
  std::size_t count = std::count(selected_.begin(), selected_.end(), 1);
  switch (tag) {
    case kSelectAllTag:
      return itemCount_ > 0;
    case kMoveToTrashTag:
      return count >= 1;
    case kRevealTag:
      return count == 1;
    default:
      return false;
  }
}

bool ImageBrowserView::validateMenuItem(const QAction& item) const {
  return validateMenuItem(item.data().toInt());
}

void ImageBrowserView::selectAll() {
  if (dataSource_) setSelectionIndexes(dataSource_->duplicatesIndexSet());
}

void ImageBrowserView::deleteSelectedItemsInIPhoto() {
  if (delegate_) delegate_->deleteItemsAtIndexes(selectionIndexes());
}

void ImageBrowserView::revealSelectedItemsInIPhoto() {
  if (delegate_) delegate_->revealItemsAtIndexes(selectionIndexes());
}

void ImageBrowserView::mousePressEvent(QMouseEvent* event) {
  if (delegate_) delegate_->hideHelpBubble();
  setFocus(Qt::MouseFocusReason);
  pendingSingleSelection_.reset();
  if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
  Qt::KeyboardModifiers modifiers = event->modifiers();
  bool toggle = modifiers & (Qt::ControlModifier | Qt::MetaModifier);
  bool range = modifiers & Qt::ShiftModifier;
  std::optional<std::size_t> hit = indexOfItemAtPoint(event->position().toPoint());
  if (!hit) {
    if (event->button() != Qt::LeftButton) return;
    if (!toggle && !range) changeSelection(std::vector<char>(itemCount_, 0));
    bandOrigin_ = contentPoint(event->position().toPoint());
    band_ = QRect(*bandOrigin_, QSize(1, 1));
    selectionBeforeBand_ = selected_;
    bandToggles_ = toggle;
    return;
  }
  std::vector<char> selected = selected_;
  if (toggle) {
    selected[*hit] = !selected[*hit];
  } else if (range && anchor_) {
    selected.assign(itemCount_, 0);
    auto [low, high] = std::minmax(*anchor_, *hit);
    for (std::size_t i = low; i <= high; ++i) selected[i] = 1;
  } else if (selected[*hit]) {
    pendingSingleSelection_ = hit;
  } else {
    selected.assign(itemCount_, 0);
    selected[*hit] = 1;
  }
  if (!range || !anchor_) anchor_ = hit;
  changeSelection(std::move(selected));
  if (event->button() == Qt::RightButton && delegate_)
    delegate_->imageBrowserCellWasRightClickedAtIndex(*this, *hit);
}

void ImageBrowserView::mouseMoveEvent(QMouseEvent* event) {
  if (!bandOrigin_) return;
  band_ = QRect(*bandOrigin_, contentPoint(event->position().toPoint())).normalized();
  std::vector<char> selected = selectionBeforeBand_;
  for (std::size_t i : itemsInContentRect(band_)) selected[i] = bandToggles_ ? !selected[i] : 1;
  changeSelection(std::move(selected));
  viewport()->update();
}

void ImageBrowserView::mouseReleaseEvent(QMouseEvent*) {
  if (pendingSingleSelection_) {
    std::vector<char> selected(itemCount_, 0);
    selected[*pendingSingleSelection_] = 1;
    pendingSingleSelection_.reset();
    changeSelection(std::move(selected));
  }
  if (bandOrigin_) {
    bandOrigin_.reset();
    viewport()->update();
  }
}

void ImageBrowserView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (delegate_) delegate_->hideHelpBubble();
  if (event->button() != Qt::LeftButton) return;
  std::optional<std::size_t> hit = indexOfItemAtPoint(event->position().toPoint());
  if (hit && delegate_) delegate_->imageBrowserCellWasDoubleClickedAtIndex(*this, *hit);
}

void ImageBrowserView::keyPressEvent(QKeyEvent* event) {
  if (delegate_) delegate_->hideHelpBubble();
  // Backspace is the key that the Mac labels Delete (character 127); both move to the trash.
  if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
    deleteSelectedItemsInIPhoto();
  event->accept();
}

}  // namespace twinlens
