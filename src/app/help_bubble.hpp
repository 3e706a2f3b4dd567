#pragma once

#include <QColor>
#include <QPoint>
#include <QPointer>
#include <QWidget>

class QPropertyAnimation;

namespace twinlens {

// How a help bubble is drawn. Lengths are in device-independent pixels.
struct HelpBubbleStyle {
  int side = 0;  // 0: the bubble sits right of the point, its arrow on its left edge
  int distance = 0;
  int viewMargin = 0;
  int borderWidth = 2;
  int cornerRadius = 8;
  bool hasArrow = true;
  bool drawsRoundCornerBesideArrow = true;
  int arrowBaseWidth = 20;
  int arrowHeight = 16;
  QColor backgroundColor = Qt::white;
  QColor borderColor = Qt::gray;
};

// A frameless bubble that holds a content view and points with an arrow at a point of the window
// it is attached to, above everything else in that window. It bounces briefly when shown.
class HelpBubble : public QWidget {
  Q_OBJECT

 public:
  // Takes `content` as its child; `attachedTo` is the window the bubble floats over.
  HelpBubble(QWidget* content, QWidget* attachedTo, QPoint point, HelpBubbleStyle style = {});

  void showAndBounce();
  QPoint attachPoint() const { return point_; }
  const HelpBubbleStyle& style() const { return style_; }
  bool isBouncing() const;
  // The outline as drawn: rounded body with the arrow's tip at the attach point.
  QPainterPath outline() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void place();

  QWidget* content_;
  QPoint point_;
  HelpBubbleStyle style_;
  QPointer<QPropertyAnimation> bounce_;
};

}  // namespace twinlens
