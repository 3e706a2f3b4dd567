#include "app/help_bubble.hpp"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QVBoxLayout>

namespace twinlens {

HelpBubble::HelpBubble(QWidget* content, QWidget* attachedTo, QPoint point, HelpBubbleStyle style)
    : QWidget(attachedTo), content_(content), point_(point), style_(style) {
  setObjectName("helpBubble");
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  auto* layout = new QVBoxLayout(this);
  int inset = style_.borderWidth + style_.viewMargin + style_.cornerRadius / 2;
  int arrowRoom = style_.hasArrow ? style_.arrowHeight : 0;
  layout->setContentsMargins(inset + arrowRoom, inset, inset, inset);
  layout->addWidget(content_);
  // The bubble follows the window's size: the point is relative to the window's height.
  attachedTo->installEventFilter(this);
  adjustSize();
  place();
}

void HelpBubble::place() {
  move(point_.x() + style_.distance, point_.y() - height() / 2);
}

QPainterPath HelpBubble::outline() const {
  double inset = style_.borderWidth / 2.0;
  double arrow = style_.hasArrow ? style_.arrowHeight : 0;
  QRectF body = QRectF(rect()).adjusted(inset + arrow, inset, -inset, -inset);
  QPainterPath path;
  path.addRoundedRect(body, style_.cornerRadius, style_.cornerRadius);
  if (style_.hasArrow) {
    double half = style_.arrowBaseWidth / 2.0;
    double midY = height() / 2.0;
    QPainterPath tip;
    tip.moveTo(body.left() + style_.borderWidth, midY - half);
    tip.lineTo(inset, midY);
    tip.lineTo(body.left() + style_.borderWidth, midY + half);
    tip.closeSubpath();
    path = path.united(tip);
  }
  return path.simplified();
}

void HelpBubble::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(style_.borderColor, style_.borderWidth));
  painter.setBrush(style_.backgroundColor);
  painter.drawPath(outline());
}

void HelpBubble::showAndBounce() {
  show();
  raise();
  place();
  auto* animation = new QPropertyAnimation(this, "pos", this);
  QPoint rest = pos();
  animation->setDuration(600);
  animation->setKeyValueAt(0, rest);
  animation->setKeyValueAt(0.25, rest + QPoint(12, 0));
  animation->setKeyValueAt(0.5, rest);
  animation->setKeyValueAt(0.75, rest + QPoint(6, 0));
  animation->setKeyValueAt(1, rest);
  animation->setEasingCurve(QEasingCurve::OutQuad);
  bounce_ = animation;
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool HelpBubble::isBouncing() const {
  return bounce_ && bounce_->state() == QAbstractAnimation::Running;
}

bool HelpBubble::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    point_.setY(parentWidget()->height() / 2);
    if (!isBouncing()) place();
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace twinlens
