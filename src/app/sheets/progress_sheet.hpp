#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace twinlens {

class ActivityIndicator;

// A progress sheet on the main window, window-modal: a bold headline with a spinner beside it, a
// progress bar, Cancel, and a line of detail under the headline or left of Cancel. Cancel and
// Escape disable the button and ask the subclass to stop its work, once.
class ProgressSheet : public QDialog {
  Q_OBJECT

 public:
  QProgressBar* progressBar() const { return progressBar_; }
  QPushButton* cancelButton() const { return cancelButton_; }
  ActivityIndicator* activityIndicator() const { return indicator_; }

 protected:
  enum class DetailPlace { UnderHeadline, BesideCancel };

  ProgressSheet(QWidget* mainWindow, const char* name, const QString& title, int minimumWidth,
                DetailPlace detailPlace);

  QLabel* headlineLabel() const { return headline_; }
  QLabel* detailLabel() const { return detail_; }
  void setFraction(double fraction);
  // Opens the sheet and starts the spinner.
  void openSheet();
  // Stops the spinner and ends the sheet.
  void endSheet();
  // Escape cancels the work rather than closing the sheet under it.
  void reject() override;
  virtual void cancelWork() = 0;

 private:
  QLabel* headline_;
  QLabel* detail_;
  QProgressBar* progressBar_;
  QPushButton* cancelButton_;
  ActivityIndicator* indicator_;
};

}  // namespace twinlens
