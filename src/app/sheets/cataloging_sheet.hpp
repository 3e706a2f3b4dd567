#pragma once

#include <QDialog>
#include <memory>
#include <string_view>

#include "catalog/cataloger.hpp"

class QLabel;
class QProgressBar;
class QPushButton;

namespace twinlens {

class ActivityIndicator;

// The scan's progress sheet: the headline, a progress bar, "%lu of %lu items" and Cancel,
// following the Cataloger's observable properties. A window-modal dialog on the main window.
class CatalogingSheet : public QDialog, public CatalogingView {
  Q_OBJECT

 public:
  CatalogingSheet(QWidget* mainWindow, std::weak_ptr<Cataloger> cataloger);

  // The Cataloger's change callback: refreshes the control that shows `property`.
  void catalogerDidChange(std::string_view property);

  void showCatalogingSheet() override;
  void endCatalogingSheet() override;
  void hideCatalogingSheet() override;

  QLabel* headline() const { return headline_; }
  QLabel* progressDescription() const { return progressDescription_; }
  QProgressBar* progressBar() const { return progressBar_; }
  QPushButton* cancelButton() const { return cancelButton_; }
  ActivityIndicator* activityIndicator() const { return indicator_; }

 protected:
  // Escape cancels the scan rather than closing the sheet under it.
  void reject() override;

 private:
  void cancel();
  void refreshProgress(const Cataloger& cataloger);

  std::weak_ptr<Cataloger> cataloger_;
  QLabel* headline_;
  QLabel* progressDescription_;
  QProgressBar* progressBar_;
  QPushButton* cancelButton_;
  ActivityIndicator* indicator_;
};

}  // namespace twinlens
