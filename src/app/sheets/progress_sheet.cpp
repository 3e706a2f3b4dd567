#include "app/sheets/progress_sheet.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/sheets/activity_indicator.hpp"

namespace twinlens {

namespace {
constexpr int kProgressSteps = 1000;
}

ProgressSheet::ProgressSheet(QWidget* mainWindow, const char* name, const QString& title,
                             int minimumWidth, DetailPlace detailPlace)
    : QDialog(mainWindow),
      headline_(new QLabel(this)),
      detail_(new QLabel(this)),
      progressBar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(tr("Cancel"), this)),
      indicator_(new ActivityIndicator(this)) {
  setObjectName(name);
  setWindowModality(Qt::WindowModal);
  setWindowTitle(title);
  setMinimumWidth(minimumWidth);
  QFont bold = headline_->font();
  bold.setBold(true);
  headline_->setFont(bold);
  progressBar_->setRange(0, kProgressSteps);
  progressBar_->setTextVisible(false);
  cancelButton_->setAutoDefault(false);
  connect(cancelButton_, &QPushButton::clicked, this, [this] {
    cancelButton_->setEnabled(false);
    cancelWork();
  });

  auto* top = new QHBoxLayout;
  top->addWidget(headline_, 1);
  top->addWidget(indicator_);
  auto* bottom = new QHBoxLayout;
  if (detailPlace == DetailPlace::BesideCancel)
    bottom->addWidget(detail_, 1);
  else
    bottom->addStretch(1);
  bottom->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  if (detailPlace == DetailPlace::UnderHeadline) layout->addWidget(detail_);
  layout->addWidget(progressBar_);
  layout->addLayout(bottom);
}

void ProgressSheet::setFraction(double fraction) {
  progressBar_->setValue(static_cast<int>(fraction * kProgressSteps));
}

void ProgressSheet::openSheet() {
  open();
  indicator_->startAnimation();
}

void ProgressSheet::endSheet() {
  indicator_->stopAnimation();
  done(QDialog::Accepted);
}

void ProgressSheet::reject() {
  if (cancelButton_->isEnabled()) cancelButton_->click();
}

}  // namespace twinlens
