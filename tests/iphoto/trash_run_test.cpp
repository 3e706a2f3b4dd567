#include "iphoto/trash_run.hpp"

#include <gtest/gtest.h>

#include "iphoto/apple_script.hpp"
#include "platform/run_loop.hpp"
#include "support/fake_script_host.hpp"

namespace twinlens {
namespace {

// One duplicate: its removal sits between the two selections of the library album, and every
// text counts it in the singular.
TEST(TrashRunTest, OneDuplicateIsThreeCommandsAndOneItem) {
  testing::ScopedFakeScriptHost host;
  RunLoop loop;
  struct Finish final : ScriptRunnerDelegate {
    explicit Finish(RunLoop& l) : loop(l) {}
    void scriptRunnerDidFinish(ScriptRunner&) override { loop.stop(); }
    RunLoop& loop;
  } finish(loop);
  auto runner = std::make_shared<ScriptRunner>(loop);
  runner->setDelegate(&finish);
  const IPhotoTrashMover mover;
  startTrashRun(*runner, mover, {std::make_shared<Photo>("7")}, "/photos/My Library", ",");
  loop.run();
  EXPECT_EQ(runner->message(), "Moving 1 item to Trash in My Library");
  const std::vector<std::string> texts = host->texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], texts[2]);
  EXPECT_NE(texts[1].find("remove photo id " + std::to_string(*scriptIdentifierForPhotoKey("7"))),
            std::string::npos)
      << texts[1];
  TrashRunSummary summary = TrashRunSummary::ofRun(*runner, mover, 1);
  EXPECT_EQ(summary.movedText(","), "Moved 1 photo to the iPhoto Trash.");
  summary.cancelled = true;
  summary.failedPhotos = 1;
  EXPECT_EQ(summary.movedText(","), "Moved 1 of 1 photo to the iPhoto Trash before you cancelled.");
  EXPECT_EQ(summary.cancelledLine(","), "Cancelled: 1 photo moved to the iPhoto Trash.");
  EXPECT_EQ(summary.failureText(), "1 photo could not be moved to the iPhoto Trash.");
}

}  // namespace
}  // namespace twinlens
