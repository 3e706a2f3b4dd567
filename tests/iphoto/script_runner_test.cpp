#include "iphoto/script_runner.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "iphoto/apple_script.hpp"
#include "iphoto/trash_run.hpp"
#include "platform/run_loop.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"
#include "support/fake_script_host.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;

// A command that does what the test tells it; copies share the behaviour and the name.
class FakeScript final : public AppleScript {
 public:
  using Behaviour = std::function<bool(ErrorRecord* error)>;
  FakeScript(std::string name, Behaviour behaviour)
      : name_(std::move(name)), behaviour_(std::move(behaviour)) {}

  bool execute(ErrorRecord* error) override { return behaviour_(error); }
  std::shared_ptr<AppleScript> copy() const override {
    return std::make_shared<FakeScript>(name_, behaviour_);
  }
  std::string description() const override { return "FakeScript " + name_; }

 private:
  std::string name_;
  Behaviour behaviour_;
};

class ScriptRunnerTest : public ::testing::Test,
                         public ScriptRunnerDelegate,
                         public ScriptRunnerView {
 protected:
  ScriptRunnerTest() : runner_(std::make_shared<ScriptRunner>(loop_)) {
    runner_->setDelegate(this);
    runner_->setView(this);
    runner_->setChangeCallback([this](std::string_view property) {
      EXPECT_TRUE(loop_.isMainThread()) << property;
      events_.emplace_back(property);
      if (property == "progress") progressSeen_.push_back(runner_->progress());
    });
  }

  void scriptRunnerDidFinish(ScriptRunner& runner) override {
    EXPECT_TRUE(loop_.isMainThread());
    EXPECT_EQ(&runner, runner_.get());
    events_.push_back("didFinish");
    abortedAtFinish_ = runner.abortRequested();
    ++finished_;
  }
  void showScriptRunnerSheet() override { events_.push_back("show"); }
  void endScriptRunnerSheet() override { events_.push_back("end"); }

  // A command that records its run and succeeds, or fails with code `failWith`.
  std::shared_ptr<AppleScript> script(const std::string& name,
                                      std::optional<int> failWith = std::nullopt) {
    return std::make_shared<FakeScript>(name, [this, name, failWith](ErrorRecord* error) {
      EXPECT_TRUE(loop_.isMainThread());
      executed_.push_back(name);
      if (onExecute_) onExecute_(name);
      if (!failWith) return true;
      if (error) *error = ErrorRecord("FakeErrorDomain", *failWith, name + " failed");
      return false;
    });
  }
  std::vector<std::shared_ptr<AppleScript>> scripts(int count) {
    std::vector<std::shared_ptr<AppleScript>> list;
    for (int i = 1; i <= count; ++i) list.push_back(script(std::to_string(i)));
    return list;
  }

  void runToEnd(const ScriptRunner::Scripts& list) {
    runner_->setScripts(list);
    int before = finished_;
    runner_->start();
    ASSERT_TRUE(loop_.runUntil([&] { return finished_ > before; }));
  }

  RunLoop loop_;
  std::shared_ptr<ScriptRunner> runner_;
  std::vector<std::string> events_;
  std::vector<double> progressSeen_;
  std::vector<std::string> executed_;
  std::function<void(const std::string&)> onExecute_;
  std::optional<bool> abortedAtFinish_;
  int finished_ = 0;
};

TEST_F(ScriptRunnerTest, ProgressGoesByThirdsAndTheSheetEndsBeforeTheDelegateHears) {
  LogCapture capture(kLogLevelDebug);
  runToEnd(scripts(3));
  EXPECT_EQ(progressSeen_, (std::vector<double>{0.0, 1.0 / 3.0, 2.0 / 3.0, 0.99999999}));
  EXPECT_EQ(runner_->scriptIndex(), 3u);
  EXPECT_EQ(executed_, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_TRUE(runner_->failedScripts().empty());
  EXPECT_FALSE(*abortedAtFinish_);
  EXPECT_EQ(events_, (std::vector<std::string>{"show", "abortRequested", "progress", "progress",
                                               "progress", "progress", "end", "didFinish"}));
  EXPECT_TRUE(capture.contains("running script: FakeScript 3"));
  EXPECT_TRUE(capture.contains("scriptIndex = 3 scriptTotal = 3"));
}

// A trash whose move commands carry two photos each, named as the desktop names its trash.
class PairTrash final : public TrashMover {
 public:
  ScriptRunner::Scripts commands(const std::vector<std::shared_ptr<Photo>>&) const override {
    return {};
  }
  std::size_t photosMovedBy(const AppleScript& command) const override {
    return command.description().starts_with("FakeScript move") ? 2 : 0;
  }
  std::string warning() const override { return {}; }
  std::string trashName() const override { return "the Trash"; }
};

TEST_F(ScriptRunnerTest, ATrashRunIsSummedUpByWhatItsMoverSaysEachCommandMoves) {
  onExecute_ = [this](const std::string& name) {
    if (name == "move 3") runner_->cancel();
  };
  // The first command counts too: a run need not begin with a selection.
  runToEnd({script("move 1"), script("select", -600), script("move 2", -1), script("move 3"),
            script("move 4")});
  TrashRunSummary summary = TrashRunSummary::ofRun(*runner_, PairTrash(), 1234);
  EXPECT_EQ(summary.moved, 4u);
  EXPECT_EQ(summary.failedPhotos, 2u);
  EXPECT_EQ(summary.failedCommands, 2u) << "the failed selection counts as a command only";
  EXPECT_EQ(summary.failureText(), "2 photos could not be moved to the Trash.");
  EXPECT_EQ(summary.cancelledTitle(), "Moving to the Trash was cancelled");
  EXPECT_EQ(summary.cancelledText("."),
            "4 photos were moved to the Trash before you cancelled; 2 could not be moved. Rescan "
            "to see what is left.");
  EXPECT_EQ(summary.movedText("."), "Moved 4 of 1.234 photos to the Trash before you cancelled.");
}

// One duplicate: its removal sits between the two selections of the library album, and every
// text counts it in the singular.
TEST_F(ScriptRunnerTest, OneDuplicateIsThreeCommandsAndOneItem) {
  testing::ScopedFakeScriptHost host;
  const IPhotoTrashMover mover;
  startTrashRun(*runner_, mover, {std::make_shared<Photo>("7")}, "/photos/My Library", ",");
  ASSERT_TRUE(loop_.runUntil([&] { return finished_ > 0; }));
  EXPECT_EQ(runner_->message(), "Moving 1 item to Trash in My Library");
  const std::vector<std::string> texts = host->texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], texts[2]);
  EXPECT_NE(texts[1].find("remove photo id " + std::to_string(*scriptIdentifierForPhotoKey("7"))),
            std::string::npos)
      << texts[1];
  TrashRunSummary summary = TrashRunSummary::ofRun(*runner_, mover, 1);
  EXPECT_EQ(summary.movedText(","), "Moved 1 photo to the iPhoto Trash.");
  summary.cancelled = true;
  summary.failedPhotos = 1;
  EXPECT_EQ(summary.movedText(","), "Moved 1 of 1 photo to the iPhoto Trash before you cancelled.");
  EXPECT_EQ(summary.cancelledLine(","), "Cancelled: 1 photo moved to the iPhoto Trash.");
  EXPECT_EQ(summary.failureText(), "1 photo could not be moved to the iPhoto Trash.");
}

TEST_F(ScriptRunnerTest, CancelDuringTheSecondOfFiveLetsItFinishAndRunsNoMore) {
  onExecute_ = [this](const std::string& name) {
    if (name == "2") runner_->cancel();
  };
  runToEnd(scripts(5));
  EXPECT_EQ(executed_, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(runner_->scriptIndex(), 2u) << "the command running at the cancel is counted";
  EXPECT_TRUE(*abortedAtFinish_);
  EXPECT_TRUE(runner_->abortRequested()) << "kept until the next start";
  EXPECT_EQ(runner_->progress(), 0.4);

  // The next run begins afresh.
  onExecute_ = nullptr;
  executed_.clear();
  runToEnd(scripts(2));
  EXPECT_FALSE(*abortedAtFinish_);
  EXPECT_EQ(executed_.size(), 2u);
}

TEST_F(ScriptRunnerTest, FailuresDoNotStopTheRunAndAreFiledUnderCopies) {
  ScriptRunner::Scripts list = {script("1"), script("2", -1728), script("3"), script("4", 7),
                                script("5")};
  runToEnd(list);
  EXPECT_EQ(executed_.size(), 5u);
  ScriptRunner::Scripts failed = runner_->failedScripts();
  ASSERT_EQ(failed.size(), 2u);
  std::map<std::string, ErrorRecord> byName;
  for (const auto& command : failed) {
    EXPECT_NE(command, list[1]) << "the table keeps a copy, not the command itself";
    EXPECT_NE(command, list[3]);
    const ErrorRecord* error = runner_->errorForScript(command.get());
    ASSERT_TRUE(error);
    byName[command->description()] = *error;
  }
  EXPECT_EQ(byName["FakeScript 2"], ErrorRecord("FakeErrorDomain", -1728, "2 failed"));
  EXPECT_EQ(byName["FakeScript 4"], ErrorRecord("FakeErrorDomain", 7, "4 failed"));
  EXPECT_FALSE(runner_->errorForScript(list[1].get()));
  EXPECT_EQ(runner_->scriptIndex(), 5u);

  runToEnd({list[1], list[1]});
  EXPECT_EQ(runner_->failedScripts().size(), 2u) << "each failure files a distinct copy";
  runToEnd(scripts(2));
  EXPECT_TRUE(runner_->failedScripts().empty()) << "a new run starts with no failures";
}

TEST_F(ScriptRunnerTest, AnEmptyListFinishesAtOnce) {
  runToEnd({});
  EXPECT_TRUE(executed_.empty());
  EXPECT_EQ(runner_->progress(), 0.0);
}

TEST_F(ScriptRunnerTest, StartingOffTheMainThreadOrTwiceIsAProgrammingError) {
  std::string message;
  std::thread([&] {
    try {
      runner_->start();
    } catch (const ProgrammingError& error) {
      message = error.what();
    }
  }).join();
  EXPECT_EQ(message, "must be on main thread");

  onExecute_ = [this](const std::string&) {
    EXPECT_THROW(runner_->start(), ProgrammingError) << "a run is going on";
  };
  runToEnd(scripts(1));
}

}  // namespace
}  // namespace twinlens
