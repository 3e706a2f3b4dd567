#pragma once

#include <memory>
#include <string_view>

#include "app/sheets/progress_sheet.hpp"
#include "iphoto/script_runner.hpp"

namespace twinlens {

// The sheet of a run of iPhoto commands: message, warning (unless hidden), spinner, progress bar
// and a Cancel button enabled while the run is cancelable.
class ScriptRunnerSheet : public ProgressSheet, public ScriptRunnerView {
  Q_OBJECT

 public:
  ScriptRunnerSheet(QWidget* mainWindow, std::weak_ptr<ScriptRunner> runner);

  // The runner's change callback.
  void runnerDidChange(std::string_view property);

  void showScriptRunnerSheet() override;
  void endScriptRunnerSheet() override;

  QLabel* messageLabel() const { return headlineLabel(); }
  QLabel* warningLabel() const { return detailLabel(); }

 private:
  void cancelWork() override;
  void refresh(const ScriptRunner& runner);

  std::weak_ptr<ScriptRunner> runner_;
};

}  // namespace twinlens
