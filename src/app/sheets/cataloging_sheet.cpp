#include "app/sheets/cataloging_sheet.hpp"

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

CatalogingSheet::CatalogingSheet(QWidget* mainWindow, std::weak_ptr<Cataloger> cataloger)
    : QDialog(mainWindow),
      cataloger_(std::move(cataloger)),
      headline_(new QLabel(this)),
      progressDescription_(new QLabel(this)),
      progressBar_(new QProgressBar(this)),
      cancelButton_(new QPushButton(tr("Cancel"), this)),
      indicator_(new ActivityIndicator(this)) {
  setObjectName("catalogingSheet");
  setWindowModality(Qt::WindowModal);
  setWindowTitle(tr("Scanning"));
  setMinimumWidth(420);
  QFont bold = headline_->font();
  bold.setBold(true);
  headline_->setFont(bold);
  progressBar_->setRange(0, kProgressSteps);
  progressBar_->setTextVisible(false);
  cancelButton_->setAutoDefault(false);
  connect(cancelButton_, &QPushButton::clicked, this, &CatalogingSheet::cancel);

  auto* top = new QHBoxLayout;
  top->addWidget(headline_, 1);
  top->addWidget(indicator_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(progressDescription_, 1);
  bottom->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(progressBar_);
  layout->addLayout(bottom);
}

void CatalogingSheet::catalogerDidChange(std::string_view property) {
  std::shared_ptr<Cataloger> cataloger = cataloger_.lock();
  if (!cataloger) return;
  if (property == "catalogingDescription")
    headline_->setText(QString::fromStdString(cataloger->catalogingDescription()));
  else
    refreshProgress(*cataloger);
}

void CatalogingSheet::refreshProgress(const Cataloger& cataloger) {
  progressBar_->setValue(static_cast<int>(cataloger.catalogingProgress() * kProgressSteps));
  progressDescription_->setText(QString::fromStdString(cataloger.catalogingProgressDescription()));
}

void CatalogingSheet::showCatalogingSheet() {
  if (QWidget* window = parentWidget()) {
    window->raise();
    window->activateWindow();
  }
  cancelButton_->setEnabled(true);
  open();
  indicator_->startAnimation();
}

void CatalogingSheet::endCatalogingSheet() {
  indicator_->stopAnimation();
  done(QDialog::Accepted);
}

void CatalogingSheet::hideCatalogingSheet() {
  hide();
}

void CatalogingSheet::reject() {
  cancel();
}

void CatalogingSheet::cancel() {
  cancelButton_->setEnabled(false);
  if (std::shared_ptr<Cataloger> cataloger = cataloger_.lock()) cataloger->cancelCataloging();
}

}  // namespace twinlens
