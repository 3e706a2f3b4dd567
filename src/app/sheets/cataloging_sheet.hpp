#pragma once

#include <memory>
#include <string_view>

#include "app/sheets/progress_sheet.hpp"
#include "catalog/cataloger.hpp"

namespace twinlens {

// The scan's progress sheet: the headline, a progress bar, "%lu of %lu items" and Cancel,
// following the Cataloger's observable properties.
class CatalogingSheet : public ProgressSheet, public CatalogingView {
  Q_OBJECT

 public:
  CatalogingSheet(QWidget* mainWindow, std::weak_ptr<Cataloger> cataloger);

  // The Cataloger's change callback: refreshes the control that shows `property`.
  void catalogerDidChange(std::string_view property);

  void showCatalogingSheet() override;
  void endCatalogingSheet() override;
  void hideCatalogingSheet() override;

  QLabel* headline() const { return headlineLabel(); }
  QLabel* progressDescription() const { return detailLabel(); }

 private:
  void cancelWork() override;
  void refreshProgress(const Cataloger& cataloger);

  std::weak_ptr<Cataloger> cataloger_;
};

}  // namespace twinlens
