#pragma once

#include <QTimer>
#include <QWidget>

namespace twinlens {

// A small spinning indicator of indeterminate progress: twelve spokes, the brightest one
// stepping round while animating.
class ActivityIndicator : public QWidget {
  Q_OBJECT

 public:
  explicit ActivityIndicator(QWidget* parent = nullptr);

  void startAnimation();
  void stopAnimation();
  bool isAnimating() const { return timer_.isActive(); }
  QSize sizeHint() const override { return {20, 20}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTimer timer_;
  int step_ = 0;
};

}  // namespace twinlens
