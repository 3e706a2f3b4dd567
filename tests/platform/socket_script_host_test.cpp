#include "platform/socket_script_host.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

#include "platform/script_server.hpp"
#include "platform/script_wire.hpp"
#include "scripting_environment.hpp"
#include "shared/programming_error.hpp"
#include "support/fake_script_host.hpp"

namespace twinlens {
namespace {

const std::string kScript = "tell application \"Viewer\"\n  select photo id 4294967308\nend tell\n";

using testing::errorMessage;
using testing::errorNumber;
using testing::ServingThread;

// Stands in for an application that misbehaves: takes one request, then does `misbehave` with
// the connection instead of answering properly.
class RawApplication {
 public:
  RawApplication(const std::string& path, std::function<void(int connection)> misbehave) {
    listener_ = testing::unixSocket(path, true);
    thread_ = std::thread([this, misbehave] {
      const int connection = ::accept(listener_, nullptr, nullptr);
      if (connection < 0) return;
      request_ = readScriptFrame(connection, scriptDeadlineNever());
      misbehave(connection);
      ::close(connection);
    });
  }
  ~RawApplication() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  bool receivedRequest() {
    thread_.join();
    thread_ = std::thread([] {});
    return request_.has_value();
  }

 private:
  int listener_ = -1;
  std::optional<Data> request_;
  std::thread thread_;
};

void sendRaw(int connection, const Data& bytes) {
  ASSERT_EQ(::write(connection, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

class SocketScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scriptSocketFolder()); }
  std::string socketPath(const std::string& name) const { return environment_.socketPath(name); }

  testing::ScriptingEnvironment environment_;
  SocketScriptHost host_;
};

TEST(SocketScriptHostNames, FirstTellApplicationNamesTheApplication) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"tell application \"iPhoto\"\nquit\nend tell\n", "iPhoto"},
      {"                              tell application \"iPhoto\"\n", "iPhoto"},
      {"TELL  Application\t\"Image Capture\"", "Image Capture"},
      {"tell app \"Finder\" to activate", "Finder"},
      {"tell application \"A\"\ntell application \"B\"\n", "A"},
      {"hotell application \"A\"\ntell application \"B\"", "B"},
      {"tell application \"\"", std::nullopt},
      {"tell application \"iPhoto\nquit", std::nullopt},
      {"tell application iPhoto", std::nullopt},
      {"tellapplication \"iPhoto\"", std::nullopt},
      {"quit", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [source, name] : cases) {
    SCOPED_TRACE(source);
    EXPECT_EQ(SocketScriptHost::applicationNameInSource(source), name);
  }
}

TEST_F(SocketScriptHostTest, ScriptWithoutAReachableApplicationFailsNamingWhy) {
  const struct {
    const char* source;
    std::int64_t number;
    const char* messagePart;
  } cases[] = {
      {"select photo library album\n", kScriptSyntaxError, "tell application"},
      {"tell application \"No Such Viewer\"\nactivate\nend tell\n", kScriptApplicationNotFoundError,
       "Can't find the application \"No Such Viewer\"."},
      {"tell application \"../Viewer\"\nend tell\n", kScriptApplicationNotFoundError, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const ScriptOutcome outcome = host_.executeSource(c.source);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(errorNumber(outcome), c.number);
    EXPECT_NE(errorMessage(outcome).find(c.messagePart), std::string::npos);
  }
}

TEST_F(SocketScriptHostTest, ApplicationThatDoesNotAnswerInTimeTimesOut) {
  environment_.set("TWINLENS_SCRIPT_TIMEOUT", "1");
  std::promise<void> release;
  ServingThread viewer("Viewer", [released = release.get_future().share()](std::string_view) {
    released.wait();
    return ScriptOutcome::success(AppleEventDescriptor::null());
  });
  const ScriptOutcome outcome = host_.executeSource(kScript);
  EXPECT_EQ(errorNumber(outcome), kScriptTimedOutError);
  EXPECT_EQ(errorMessage(outcome), "Viewer got an error: AppleEvent timed out.");
  release.set_value();
}

TEST_F(SocketScriptHostTest, ApplicationThatGoesAwayOrAnswersGarbageFailsTheScript) {
  const std::string invalid = "Viewer got an error: Connection is invalid.";
  const std::string corrupt = "Viewer sent an answer that could not be read";
  const struct {
    const char* name;
    Data answer;
    std::int64_t number;
    std::string messagePart;
  } cases[] = {
      {"closes without a word", {}, kScriptConnectionInvalidError, invalid},
      {"stops inside the frame",
       {0, 0, 0, 40, 'S', 'l', 'i'},
       kScriptConnectionInvalidError,
       invalid},
      {"unknown reply", {0, 0, 0, 3, 'Z', 'Z', 'Z'}, kScriptCorruptAnswerError, corrupt},
      {"oversized frame", {0xFF, 0xFF, 0xFF, 0xFF}, kScriptCorruptAnswerError, corrupt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawApplication viewer(socketPath("Viewer"),
                          [&](int connection) { sendRaw(connection, c.answer); });
    const ScriptOutcome outcome = host_.executeSource(kScript);
    EXPECT_EQ(errorNumber(outcome), c.number);
    EXPECT_NE(errorMessage(outcome).find(c.messagePart), std::string::npos);
    EXPECT_TRUE(viewer.receivedRequest());
    ::unlink(socketPath("Viewer").c_str());
  }
}

TEST_F(SocketScriptHostTest, SocketOfAnotherUserIsNeverSentTo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to hand a socket to another user";
  std::atomic<bool> contacted{false};
  {
    RawApplication viewer(socketPath("Viewer"), [&](int) { contacted = true; });
    ASSERT_EQ(::lchown(socketPath("Viewer").c_str(), 65534, 65534), 0);
    const ScriptOutcome outcome = host_.executeSource(kScript);
    EXPECT_EQ(errorNumber(outcome), kScriptApplicationNotRunningError);
    EXPECT_NE(errorMessage(outcome).find("not a socket of this user"), std::string::npos);
  }
  EXPECT_FALSE(contacted);
}

TEST_F(SocketScriptHostTest, UnsafeSocketFolderIsNotUsed) {
  ASSERT_EQ(::chmod(environment_.socketFolder().c_str(), 0777), 0);
  const ScriptOutcome outcome = host_.executeSource(kScript);
  EXPECT_EQ(errorNumber(outcome), kScriptApplicationNotRunningError);
  EXPECT_NE(errorMessage(outcome).find("only this user may enter"), std::string::npos);
}

TEST(ScriptHostStandard, CanBeReplacedAndRestored) {
  testing::ScopedFakeScriptHost fake;
  const std::shared_ptr<ScriptHost> replaced = ScriptHost::setStandard(nullptr);
  EXPECT_EQ(replaced.get(), &*fake);
  EXPECT_THROW(ScriptHost::standard(), ProgrammingError);
  ScriptHost::setStandard(replaced);
}

}  // namespace
}  // namespace twinlens
