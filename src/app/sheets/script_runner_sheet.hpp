#pragma once

#include <QDialog>
#include <memory>
#include <string_view>

#include "iphoto/script_runner.hpp"

class QLabel;
class QProgressBar;
class QPushButton;

namespace twinlens {

class ActivityIndicator;

// The sheet of a run of iPhoto commands: message, warning (unless hidden), spinner, progress bar
// and a Cancel button enabled while the run is cancelable. A window-modal dialog.
class ScriptRunnerSheet : public QDialog, public ScriptRunnerView {
  Q_OBJECT

 public:
  ScriptRunnerSheet(QWidget* mainWindow, std::weak_ptr<ScriptRunner> runner);

  // The runner's change callback.
  void runnerDidChange(std::string_view property);

  void showScriptRunnerSheet() override;
  void endScriptRunnerSheet() override;

  QLabel* messageLabel() const { return message_; }
  QLabel* warningLabel() const { return warning_; }
  QProgressBar* progressBar() const { return progressBar_; }
  QPushButton* cancelButton() const { return cancelButton_; }
  ActivityIndicator* activityIndicator() const { return indicator_; }

 protected:
  void reject() override;

 private:
  void refresh(const ScriptRunner& runner);

  std::weak_ptr<ScriptRunner> runner_;
  QLabel* message_;
  QLabel* warning_;
  QProgressBar* progressBar_;
  QPushButton* cancelButton_;
  ActivityIndicator* indicator_;
};

}  // namespace twinlens
