#include "platform/socket_script_host.hpp"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "io/integer_io.hpp"
#include "platform/script_server.hpp"
#include "platform/script_wire.hpp"
#include "scripting_environment.hpp"
#include "shared/programming_error.hpp"

namespace twinlens {
namespace {

const std::string kScript = "tell application \"Viewer\"\n  select photo id 4294967308\nend tell\n";

using testing::errorMessage;
using testing::errorNumber;

// A ScriptServer on a thread of the test.
class ServingThread {
 public:
  ServingThread(const std::string& name, ScriptServer::Handler handler) : server_(name) {
    ErrorRecord error;
    listening_ = server_.listen(&error);
    EXPECT_TRUE(listening_) << error.description();
    thread_ = std::thread([this, handler] { server_.serve(handler); });
  }
  ~ServingThread() {
    server_.stop();
    thread_.join();
  }

 private:
  ScriptServer server_;
  bool listening_ = false;
  std::thread thread_;
};

// Stands in for an application that misbehaves: takes one request, then does `misbehave` with
// the connection instead of answering properly.
class RawApplication {
 public:
  RawApplication(const std::string& path, std::function<void(int connection)> misbehave) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
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
  std::string socketPath(const std::string& name) const {
    return environment_.socketFolder() + "/" + name + ".socket";
  }

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

TEST_F(SocketScriptHostTest, TextWithoutAnApplicationIsASyntaxError) {
  const ScriptOutcome outcome = host_.executeSource("select photo library album\n");
  EXPECT_FALSE(outcome.succeeded());
  EXPECT_EQ(errorNumber(outcome), kScriptSyntaxError);
  EXPECT_NE(errorMessage(outcome).find("tell application"), std::string::npos);
}

TEST_F(SocketScriptHostTest, ApplicationsAnswerComesBackWhole) {
  std::string received;
  const AppleEventDescriptor answer = AppleEventDescriptor::recordWithUserFields(
      {{"_Id", AppleEventDescriptor::list({AppleEventDescriptor::real(4294967308.0)})}});
  ServingThread viewer("Viewer", [&](std::string_view source) {
    received = source;
    return ScriptOutcome::success(answer);
  });
  for (int round = 0; round < 3; ++round) {
    const ScriptOutcome outcome = host_.executeSource(kScript);
    ASSERT_TRUE(outcome.succeeded()) << errorMessage(outcome);
    EXPECT_EQ(*outcome.result, answer);
    EXPECT_EQ(received, kScript);
  }
}

TEST_F(SocketScriptHostTest, ApplicationThatDoesNotAnswerInTimeTimesOut) {
  environment_.set("TWINLENS_SCRIPT_TIMEOUT", "1");
  std::mutex lock;
  std::condition_variable changed;
  bool released = false;
  {
    ServingThread viewer("Viewer", [&](std::string_view) {
      std::unique_lock held(lock);
      changed.wait(held, [&] { return released; });
      return ScriptOutcome::success(AppleEventDescriptor::null());
    });
    const ScriptOutcome outcome = host_.executeSource(kScript);
    EXPECT_EQ(errorNumber(outcome), kScriptTimedOutError);
    EXPECT_EQ(errorMessage(outcome), "Viewer got an error: AppleEvent timed out.");
    std::lock_guard held(lock);
    released = true;
    changed.notify_all();
  }
}

TEST_F(SocketScriptHostTest, ApplicationThatGoesAwayMidAnswerInvalidatesTheConnection) {
  const std::pair<const char*, std::function<void(int)>> cases[] = {
      {"closes without a word", [](int) {}},
      {"stops inside the frame",
       [](int connection) {
         sendRaw(connection, {0, 0, 0, 40, 'S', 'l', 'i'});
       }},
  };
  for (const auto& [name, misbehave] : cases) {
    SCOPED_TRACE(name);
    RawApplication viewer(socketPath("Viewer"), misbehave);
    const ScriptOutcome outcome = host_.executeSource(kScript);
    EXPECT_EQ(errorNumber(outcome), kScriptConnectionInvalidError);
    EXPECT_EQ(errorMessage(outcome), "Viewer got an error: Connection is invalid.");
    EXPECT_TRUE(viewer.receivedRequest());
    ::unlink(socketPath("Viewer").c_str());
  }
}

TEST_F(SocketScriptHostTest, UnreadableAnswersAreCorrupt) {
  Data deep;
  for (int level = 0; level < 1000; ++level) {
    IntegerIO::writeUInt32(fourCharCode("list"), deep);
    deep.push_back('i');
    IntegerIO::writeUInt32(1, deep);
  }
  Data deepReply{'S'};
  deepReply.insert(deepReply.end(), deep.begin(), deep.end());
  Data deepFrame;
  IntegerIO::writeUInt32(static_cast<std::uint32_t>(deepReply.size()), deepFrame);
  deepFrame.insert(deepFrame.end(), deepReply.begin(), deepReply.end());
  const std::pair<const char*, Data> cases[] = {
      {"unknown reply", {0, 0, 0, 3, 'Z', 'Z', 'Z'}},
      {"oversized frame", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"unknown kind", {0, 0, 0, 10, 'S', 'l', 'o', 'n', 'g', '?', 0, 0, 0, 0}},
      {"nested too deeply", deepFrame},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    RawApplication viewer(socketPath("Viewer"),
                          [&](int connection) { sendRaw(connection, bytes); });
    const ScriptOutcome outcome = host_.executeSource(kScript);
    EXPECT_EQ(errorNumber(outcome), kScriptCorruptAnswerError);
    EXPECT_NE(errorMessage(outcome).find("Viewer sent an answer that could not be read"),
              std::string::npos);
    ::unlink(socketPath("Viewer").c_str());
  }
}

TEST_F(SocketScriptHostTest, ApplicationWithoutABundleOrOutsideTheFoldersIsNotFound) {
  ScriptOutcome outcome =
      host_.executeSource("tell application \"No Such Viewer\"\nactivate\nend tell\n");
  EXPECT_EQ(errorNumber(outcome), kScriptApplicationNotFoundError);
  EXPECT_EQ(errorMessage(outcome), "Can't find the application \"No Such Viewer\".");
  outcome = host_.executeSource("tell application \"../Viewer\"\nend tell\n");
  EXPECT_EQ(errorNumber(outcome), kScriptApplicationNotFoundError);
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

TEST_F(SocketScriptHostTest, StandardHostCanBeReplacedAndRestored) {
  class Recorder : public ScriptHost {
   public:
    ScriptOutcome executeSource(std::string_view source) override {
      last = source;
      return ScriptOutcome::success(AppleEventDescriptor::null());
    }
    std::string last;
  };
  auto recorder = std::make_shared<Recorder>();
  std::shared_ptr<ScriptHost> previous = ScriptHost::setStandard(recorder);
  EXPECT_TRUE(ScriptHost::standard().executeSource("anything").succeeded());
  EXPECT_EQ(recorder->last, "anything");
  EXPECT_EQ(ScriptHost::setStandard(nullptr), recorder);
  EXPECT_THROW(ScriptHost::standard(), ProgrammingError);
  ScriptHost::setStandard(previous);
}

}  // namespace
}  // namespace twinlens
