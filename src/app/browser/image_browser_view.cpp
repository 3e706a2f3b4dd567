#include "app/browser/image_browser_view.hpp"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

#include "app/browser/thumbnail_loader.hpp"
#include "app/browser/thumbnail_placeholder.hpp"

namespace twinlens {

namespace {

constexpr int kMinThumbSide = 64;
constexpr int kMaxThumbSide = ThumbnailLoader::kDecodeSide;
constexpr int kCellPadding = 8;
constexpr int kOuterMargin = 12;
constexpr int kBezelPadding = 8;
constexpr int kBezelRadius = 10;
constexpr int kGroupSpacing = 12;

QString qText(const std::optional<std::string>& text) {
  return text ? QString::fromStdString(*text) : QString();
}

// Captions in Chinese, Japanese or Korean fall back to Debian's Noto CJK fonts where the
// desktop's own font has no glyphs for them; absent fonts are skipped.
QFont withCJKFallback(QFont font) {
  QStringList families = font.families();
  if (families.isEmpty()) families.push_back(font.family());
  families << "Noto Sans CJK JP"
           << "Noto Sans CJK SC"
           << "Noto Sans CJK TC"
           << "Noto Sans CJK KR";
  font.setFamilies(families);
  return font;
}

}  // namespace

ImageBrowserView::ImageBrowserView(QWidget* parent)
    : QAbstractScrollArea(parent), loader_(std::make_unique<ThumbnailLoader>()) {
  setObjectName("imageBrowser");
  setFont(withCJKFallback(font()));
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(24);
  connect(loader_.get(), &ThumbnailLoader::imageLoaded, viewport(), qOverload<>(&QWidget::update));
}

ImageBrowserView::~ImageBrowserView() = default;

void ImageBrowserView::reloadData() {
  itemCount_ = dataSource_ ? dataSource_->numberOfItemsInImageBrowser(*this) : 0;
  groupCount_ = dataSource_ ? dataSource_->numberOfGroupsInImageBrowser(*this) : 0;
  loader_->clear();
  selected_.assign(itemCount_, 0);
  anchor_.reset();
  layoutBlocks();
  verticalScrollBar()->setValue(0);
  viewport()->update();
  emit dataReloaded();
  emit selectionChanged();
}

void ImageBrowserView::setZoomValue(float zoom) {
  zoom = std::clamp(zoom, 0.0f, 1.0f);
  if (zoom == zoom_) return;
  // Keep the item at the top of the view in view across the change of cell size.
  std::optional<std::size_t> top = indexOfItemAtPoint(QPoint(kOuterMargin + kBezelPadding + 1, 1));
  zoom_ = zoom;
  layoutBlocks();
  if (top) scrollToItem(*top);
  viewport()->update();
}

int ImageBrowserView::thumbSide() const {
  return kMinThumbSide + static_cast<int>(zoom_ * (kMaxThumbSide - kMinThumbSide));
}

QSize ImageBrowserView::cellSize() const {
  int side = thumbSide();
  int textHeight = fontMetrics().height() * 2 + 4;
  return {side + 2 * kCellPadding, side + 2 * kCellPadding + textHeight};
}

int ImageBrowserView::columns() const {
  int usable = viewport()->width() - 2 * (kOuterMargin + kBezelPadding);
  return std::max(1, usable / cellSize().width());
}

void ImageBrowserView::layoutBlocks() {
  blocks_.clear();
  std::vector<ImageBrowserGroup> groups;
  for (std::size_t g = 0; g < groupCount_; ++g) {
    ImageBrowserGroup group = dataSource_->imageBrowserGroupAtIndex(*this, g);
    std::size_t end = std::min(itemCount_, group.range.location + group.range.length);
    if (group.range.location >= end) continue;
    group.range.length = end - group.range.location;
    groups.push_back(group);
  }
  std::sort(groups.begin(), groups.end(),
            [](const auto& a, const auto& b) { return a.range.location < b.range.location; });
  // Items outside every group are laid out between the groups, without a bezel.
  std::size_t next = 0;
  auto addBlock = [this](std::size_t location, std::size_t length, bool bezel, QColor colour) {
    blocks_.push_back(Block{location, length, bezel, colour, 0, 0});
  };
  for (const ImageBrowserGroup& group : groups) {
    if (group.range.location < next) continue;  // overlapping groups: the first one wins
    if (group.range.location > next) addBlock(next, group.range.location - next, false, {});
    addBlock(group.range.location, group.range.length, group.style == 0, group.backgroundColor);
    next = group.range.location + group.range.length;
  }
  if (next < itemCount_) addBlock(next, itemCount_ - next, false, {});

  int y = kOuterMargin;
  int cols = columns();
  int rowHeight = cellSize().height();
  for (Block& block : blocks_) {
    int rows = static_cast<int>((block.length + cols - 1) / cols);
    block.top = y;
    block.height = rows * rowHeight + 2 * kBezelPadding;
    y += block.height + kGroupSpacing;
  }
  contentHeight_ = blocks_.empty() ? 0 : y - kGroupSpacing + kOuterMargin;
  updateScrollBar();
}

void ImageBrowserView::updateScrollBar() {
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(viewport()->height());
  bar->setRange(0, std::max(0, contentHeight_ - viewport()->height()));
}

const ImageBrowserView::Block* ImageBrowserView::blockOfItem(std::size_t index) const {
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                             [](std::size_t i, const Block& b) { return i < b.location; });
  if (it == blocks_.begin()) return nullptr;
  --it;
  return index < it->location + it->length ? &*it : nullptr;
}

QRect ImageBrowserView::contentFrame(std::size_t index) const {
  const Block* block = blockOfItem(index);
  if (!block) return {};
  int cols = columns();
  QSize cell = cellSize();
  int k = static_cast<int>(index - block->location);
  return QRect(kOuterMargin + kBezelPadding + (k % cols) * cell.width(),
               block->top + kBezelPadding + (k / cols) * cell.height(), cell.width(),
               cell.height());
}

QPoint ImageBrowserView::contentPoint(QPoint viewportPoint) const {
  return viewportPoint + QPoint(0, verticalScrollBar()->value());
}

QRect ImageBrowserView::itemFrame(std::size_t index) const {
  return contentFrame(index).translated(0, -verticalScrollBar()->value());
}

QRect ImageBrowserView::groupFrame(std::size_t index) const {
  std::size_t seen = 0;
  for (const Block& block : blocks_) {
    if (!block.bezel) continue;
    if (seen++ != index) continue;
    int cols = std::min<int>(columns(), static_cast<int>(block.length));
    int width = cols * cellSize().width() + 2 * kBezelPadding;
    return QRect(kOuterMargin, block.top - verticalScrollBar()->value(), width, block.height);
  }
  return {};
}

std::optional<std::size_t> ImageBrowserView::indexOfItemAtPoint(QPoint point) const {
  QPoint p = contentPoint(point);
  auto it = std::upper_bound(blocks_.begin(), blocks_.end(), p.y(),
                             [](int y, const Block& b) { return y < b.top; });
  if (it == blocks_.begin()) return std::nullopt;
  const Block& block = *--it;
  int x = p.x() - kOuterMargin - kBezelPadding;
  int y = p.y() - block.top - kBezelPadding;
  if (x < 0 || y < 0) return std::nullopt;
  QSize cell = cellSize();
  int col = x / cell.width();
  if (col >= columns()) return std::nullopt;
  std::size_t k = static_cast<std::size_t>(y / cell.height()) * columns() + col;
  if (k >= block.length) return std::nullopt;
  return block.location + k;
}

IndexSet ImageBrowserView::itemsInContentRect(const QRect& rect) const {
  IndexSet items;
  for (const Block& block : blocks_) {
    if (block.top > rect.bottom()) break;
    if (block.top + block.height < rect.top()) continue;
    for (std::size_t i = block.location; i < block.location + block.length; ++i)
      if (contentFrame(i)
              .adjusted(kCellPadding, kCellPadding, -kCellPadding, -kCellPadding)
              .intersects(rect))
        items.push_back(i);
  }
  return items;
}

void ImageBrowserView::scrollToItem(std::size_t index) {
  QRect frame = contentFrame(index);
  if (frame.isNull()) return;
  QScrollBar* bar = verticalScrollBar();
  if (frame.top() < bar->value())
    bar->setValue(frame.top() - kBezelPadding);
  else if (frame.bottom() > bar->value() + viewport()->height())
    bar->setValue(frame.bottom() - viewport()->height() + kBezelPadding);
}

void ImageBrowserView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  int scroll = verticalScrollBar()->value();
  QRect visible = event->rect().translated(0, scroll);
  painter.translate(0, -scroll);
  QStringList wanted;
  auto first = std::lower_bound(blocks_.begin(), blocks_.end(), visible.top(),
                                [](const Block& b, int y) { return b.top + b.height < y; });
  for (auto it = first; it != blocks_.end() && it->top <= visible.bottom(); ++it)
    paintBlock(painter, *it, visible, wanted);
  if (bandOrigin_) {
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(50);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.setBrush(fill);
    painter.drawRect(band_);
  }
  loader_->request(wanted);
  emit painted();
}

void ImageBrowserView::paintBlock(QPainter& painter, const Block& block, const QRect& visible,
                                  QStringList& wanted) {
  int cols = columns();
  if (block.bezel) {
    int shown = std::min<int>(cols, static_cast<int>(block.length));
    QRectF bezel(kOuterMargin, block.top, shown * cellSize().width() + 2 * kBezelPadding,
                 block.height);
    painter.setPen(Qt::NoPen);
    painter.setBrush(block.background);
    painter.drawRoundedRect(bezel.adjusted(0.5, 0.5, -0.5, -0.5), kBezelRadius, kBezelRadius);
  }
  int rowHeight = cellSize().height();
  int firstRow = std::max(0, (visible.top() - block.top - kBezelPadding) / rowHeight);
  std::size_t begin = block.location + static_cast<std::size_t>(firstRow) * cols;
  std::size_t end = block.location + block.length;
  for (std::size_t i = begin; i < end; ++i) {
    QRect frame = contentFrame(i);
    if (frame.top() > visible.bottom()) break;
    paintItem(painter, i, frame, wanted);
  }
}

void ImageBrowserView::paintItem(QPainter& painter, std::size_t index, const QRect& frame,
                                 QStringList& wanted) {
  const Thumbnail& item = dataSource_->imageBrowserItemAtIndex(*this, index);
  int side = thumbSide();
  QRect square(frame.left() + kCellPadding, frame.top() + kCellPadding, side, side);
  bool isSelected = index < selected_.size() && selected_[index];
  if (isSelected) {
    QColor highlight = palette().color(QPalette::Highlight);
    highlight.setAlpha(90);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(highlight);
    painter.drawRoundedRect(QRectF(square).adjusted(-5, -5, 5, 5), 6, 6);
  }
  QString path = qText(item.path());
  if (const QImage* image = path.isEmpty() ? nullptr : loader_->image(path)) {
    QSize size = image->size().scaled(side, side, Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(square.center());
    painter.drawImage(target, *image);
  } else if (path.isEmpty() || loader_->isMissing(path)) {
    paintThumbnailPlaceholder(painter, square, photoFileType(item.imagePath()), palette());
  } else {
    wanted.push_back(path);
  }
  // Captions keep to the thumbnail's width, so neighbours stay apart by two paddings.
  QRect text(square.left(), square.bottom() + 5, side, fontMetrics().height());
  painter.setPen(palette().color(QPalette::Text));
  painter.drawText(
      text, Qt::AlignHCenter | Qt::AlignTop,
      fontMetrics().elidedText(qText(item.imageTitle()), Qt::ElideMiddle, text.width()));
  text.translate(0, fontMetrics().height());
  painter.setPen(palette().color(QPalette::PlaceholderText));
  painter.drawText(
      text, Qt::AlignHCenter | Qt::AlignTop,
      fontMetrics().elidedText(qText(item.imageSubtitle()), Qt::ElideRight, text.width()));
}

bool ImageBrowserView::viewportEvent(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(event);
  auto* help = static_cast<QHelpEvent*>(event);
  std::optional<std::size_t> hit = indexOfItemAtPoint(help->pos());
  if (!hit || !dataSource_) {
    QToolTip::hideText();
    return true;
  }
  // As rich text, so that a caption such as "<at the beach>" is shown as written.
  QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(toolTipAtIndex(*hit)), viewport(),
                     itemFrame(*hit));
  return true;
}

QString ImageBrowserView::toolTipAtIndex(std::size_t index) {
  const Thumbnail& item = dataSource_->imageBrowserItemAtIndex(*this, index);
  QString tip = qText(item.imageTitle());
  if (item.imageSubtitle()) tip += "\n" + qText(item.imageSubtitle());
  QString details = dataSource_->imageBrowserItemDetailsAtIndex(*this, index);
  if (!details.isEmpty()) tip += "\n" + details;
  return tip;
}

void ImageBrowserView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  layoutBlocks();
}

void ImageBrowserView::scrollContentsBy(int, int) {
  viewport()->update();
}

}  // namespace twinlens
