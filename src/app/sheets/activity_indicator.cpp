#include "app/sheets/activity_indicator.hpp"

#include <QPainter>

namespace twinlens {

namespace {
constexpr int kSpokes = 12;
}

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent) {
  setFixedSize(sizeHint());
  timer_.setInterval(80);
  connect(&timer_, &QTimer::timeout, this, [this] {
    step_ = (step_ + 1) % kSpokes;
    update();
  });
}

void ActivityIndicator::startAnimation() {
  timer_.start();
  update();
}

void ActivityIndicator::stopAnimation() {
  timer_.stop();
  update();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
  if (!isAnimating()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  double radius = std::min(width(), height()) / 2.0;
  for (int i = 0; i < kSpokes; ++i) {
    // Spokes fade behind the leading one.
    int age = (step_ - i + kSpokes) % kSpokes;
    QColor color = palette().color(QPalette::WindowText);
    color.setAlphaF(1.0 - 0.8 * age / kSpokes);
    painter.setPen(QPen(color, radius / 5.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
    painter.rotate(360.0 / kSpokes);
  }
}

}  // namespace twinlens
