#include "app/sheets/cataloging_sheet.hpp"

#include <QLabel>
#include <QPushButton>

namespace twinlens {

CatalogingSheet::CatalogingSheet(QWidget* mainWindow, std::weak_ptr<Cataloger> cataloger)
    : ProgressSheet(mainWindow, "catalogingSheet", tr("Scanning"), 420, DetailPlace::BesideCancel),
      cataloger_(std::move(cataloger)) {}

void CatalogingSheet::catalogerDidChange(std::string_view property) {
  std::shared_ptr<Cataloger> cataloger = cataloger_.lock();
  if (!cataloger) return;
  if (property == "catalogingDescription")
    headline()->setText(QString::fromStdString(cataloger->catalogingDescription()));
  else
    refreshProgress(*cataloger);
}

void CatalogingSheet::refreshProgress(const Cataloger& cataloger) {
  setFraction(cataloger.catalogingProgress());
  progressDescription()->setText(QString::fromStdString(cataloger.catalogingProgressDescription()));
}

void CatalogingSheet::showCatalogingSheet() {
  if (QWidget* window = parentWidget()) {
    window->raise();
    window->activateWindow();
  }
  cancelButton()->setEnabled(true);
  openSheet();
}

void CatalogingSheet::endCatalogingSheet() {
  endSheet();
}

void CatalogingSheet::hideCatalogingSheet() {
  hide();
}

void CatalogingSheet::cancelWork() {
  if (std::shared_ptr<Cataloger> cataloger = cataloger_.lock()) cataloger->cancelCataloging();
}

}  // namespace twinlens
