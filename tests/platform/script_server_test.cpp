#include "platform/script_server.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "platform/script_wire.hpp"
#include "scripting_environment.hpp"

namespace twinlens {
namespace {

constexpr uid_t kOtherUser = 65534;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info.st_mode;
}
bool exists(const std::string& path) {
  return modeOf(path) != 0;
}
// A socket left bound, as a crashed application leaves it.
void leaveStaleSocket(const std::string& path) {
  ::close(testing::unixSocket(path, true));
}
int connectTo(const std::string& path) {
  return testing::unixSocket(path, false);
}

std::optional<ScriptOutcome> reply(int fd) {
  const std::optional<Data> frame = readScriptFrame(fd, scriptDeadlineNever());
  return frame ? decodeReply(frame->data(), frame->size()) : std::nullopt;
}
std::string replyText(const std::optional<ScriptOutcome>& outcome) {
  return outcome && outcome->succeeded() ? outcome->result->stringValue().value_or("") : "";
}

class ScriptServerTest : public ::testing::Test {
 protected:
  testing::ScriptingEnvironment environment_;
};
using ScriptSocketFolder = ScriptServerTest;

TEST_F(ScriptSocketFolder, IsMadePrivateInTheRuntimeFolderAndHoldsOnlyPlainNames) {
  ErrorRecord error;
  const std::optional<std::string> folder = scriptSocketFolder(&error);
  ASSERT_TRUE(folder) << error.description();
  EXPECT_EQ(*folder, environment_.socketFolder());
  EXPECT_TRUE(S_ISDIR(modeOf(*folder)));
  EXPECT_EQ(modeOf(*folder) & 0777, 0700u);
  EXPECT_EQ(scriptSocketPath("iPhoto"), *folder + "/iPhoto.socket");
  for (const char* name : {"", ".hidden", "..", "a/b", "../iPhoto"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(scriptSocketPath(name, &error));
    EXPECT_TRUE(error.isErrorWithDomain(kUnixErrorDomain, EINVAL));
  }
  EXPECT_FALSE(scriptSocketPath(std::string(200, 'x'), &error));
  EXPECT_TRUE(error.isErrorWithDomain(kUnixErrorDomain, ENAMETOOLONG));
}

TEST_F(ScriptSocketFolder, FallsBackToTmpWithoutAUsableRuntimeFolder) {
  const std::string fallback = "/tmp/twinlens-scripting-" + std::to_string(::geteuid());
  for (const char* runtime : {"relative/run", "/nonexistent/run"}) {
    SCOPED_TRACE(runtime);
    environment_.set("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(scriptSocketFolder(), fallback);
  }
  environment_.unset("XDG_RUNTIME_DIR");
  EXPECT_EQ(scriptSocketFolder(), fallback);
}

TEST_F(ScriptSocketFolder, FolderOthersMayEnterALinkOrAFolderOfAnotherUserIsRefused) {
  const std::string folder = environment_.socketFolder();
  testing::TempDir elsewhere;
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"others may enter", [&] { ::chmod(folder.c_str(), 0750); }},
      {"a link",
       [&] {
         std::filesystem::remove_all(folder);
         ::symlink(elsewhere.path().c_str(), folder.c_str());
       }},
      {"another user's", [&] { ::chown(folder.c_str(), kOtherUser, kOtherUser); }},
  };
  for (const auto& [name, spoil] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::remove(folder);
    ASSERT_TRUE(scriptSocketFolder());
    spoil();
    if (::geteuid() != 0 && name == std::string("another user's")) continue;
    ErrorRecord error;
    EXPECT_FALSE(scriptSocketFolder(&error));
    EXPECT_TRUE(error.isErrorWithDomain(kUnixErrorDomain, EACCES));
    EXPECT_NE(error.description().find(folder), std::string::npos);
    EXPECT_FALSE(scriptSocketPath("iPhoto"));
  }
}

TEST_F(ScriptServerTest,
       ListensUntilStoppedOrDestroyedRefusesASecondLiveServerAndReplacesAStaleSocket) {
  const std::string path = environment_.socketPath("Viewer");
  {
    ScriptServer server("Viewer");
    ErrorRecord error;
    ASSERT_TRUE(server.listen(&error)) << error.description();
    EXPECT_EQ(server.socketPath(), path);
    EXPECT_TRUE(S_ISSOCK(modeOf(path)));
    {
      ScriptServer second("Viewer");
      EXPECT_FALSE(second.listen(&error));
      EXPECT_TRUE(error.isErrorWithDomain(kUnixErrorDomain, EADDRINUSE));
    }
    EXPECT_TRUE(exists(path)) << "the refused server removed the live socket";
  }
  EXPECT_FALSE(exists(path));
  leaveStaleSocket(path);
  ScriptServer server("Viewer");
  ErrorRecord error;
  ASSERT_TRUE(server.listen(&error)) << error.description();
  std::thread stopper([&] { server.stop(); });
  server.serve(
      [](std::string_view) { return ScriptOutcome::success(AppleEventDescriptor::null()); });
  stopper.join();
  EXPECT_FALSE(exists(path)) << "a stop from another thread ends an idle serve";
}

TEST_F(ScriptServerTest, LinkOrSocketOfAnotherUserIsLeftAlone) {
  ASSERT_TRUE(scriptSocketFolder());
  const std::string path = environment_.socketPath("Viewer");
  for (bool link : {true, false}) {
    SCOPED_TRACE(link);
    if (!link && ::geteuid() != 0) GTEST_SKIP() << "needs to hand a socket to another user";
    ::unlink(path.c_str());
    if (link) {
      ASSERT_EQ(::symlink("/etc/passwd", path.c_str()), 0);
    } else {
      leaveStaleSocket(path);
      ASSERT_EQ(::lchown(path.c_str(), kOtherUser, kOtherUser), 0);
    }
    ScriptServer server("Viewer");
    ErrorRecord error;
    EXPECT_FALSE(server.listen(&error));
    EXPECT_TRUE(error.isErrorWithDomain(kUnixErrorDomain, EACCES));
    EXPECT_TRUE(exists(path));
  }
}

TEST_F(ScriptServerTest, AnswersSeveralRequestsOnOneConnectionRefusesAMalformedOneAndStops) {
  ScriptServer server("Viewer");
  ASSERT_TRUE(server.listen());
  std::vector<std::string> seen;
  std::thread serving([&] {
    server.serve([&](std::string_view source) {
      seen.emplace_back(source);
      if (source == "quit") server.stop();
      return ScriptOutcome::success(AppleEventDescriptor::text(source));
    });
  });
  bool clean = false;
  const int malformed = connectTo(server.socketPath());
  ASSERT_TRUE(writeScriptFrame(malformed, Data{'X', 'y'}, scriptDeadlineNever()));
  const std::optional<ScriptOutcome> refused = reply(malformed);
  ASSERT_TRUE(refused);
  EXPECT_EQ(testing::errorNumber(*refused), kScriptCorruptAnswerError);
  EXPECT_FALSE(readScriptFrame(malformed, scriptDeadlineNever(), nullptr, &clean));
  EXPECT_TRUE(clean) << "the server closes a connection that sent a malformed request";
  ::close(malformed);

  const int fd = connectTo(server.socketPath());
  for (const char* text : {"first", "second", "quit"}) {
    ASSERT_TRUE(writeScriptFrame(fd, encodeRequest(text), scriptDeadlineNever()));
    EXPECT_EQ(replyText(reply(fd)), text);
  }
  serving.join();
  clean = false;
  EXPECT_FALSE(readScriptFrame(fd, scriptDeadlineNever(), nullptr, &clean));
  EXPECT_TRUE(clean) << "the server keeps the connection after it stopped";
  ::close(fd);
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second", "quit"}));
  EXPECT_FALSE(exists(environment_.socketPath("Viewer")));
}

TEST_F(ScriptServerTest, AClientThatStallsInTheMiddleOfARequestHoldsUpNoOther) {
  testing::ServingThread echo("Viewer", [](std::string_view source) {
    return ScriptOutcome::success(AppleEventDescriptor::text(source));
  });
  const std::string path = environment_.socketPath("Viewer");
  const int clients[2] = {connectTo(path), connectTo(path)};
  const Data slow = encodeRequest("slow");
  Data frame{0, 0, 0, static_cast<std::uint8_t>(slow.size())};
  frame.insert(frame.end(), slow.begin(), slow.end());
  // Half a request from the first client, then a whole one from the second.
  ASSERT_EQ(::send(clients[0], frame.data(), 6, 0), 6);
  ASSERT_TRUE(writeScriptFrame(clients[1], encodeRequest("quick"), scriptDeadlineNever()));
  EXPECT_EQ(replyText(reply(clients[1])), "quick");
  const auto rest = static_cast<ssize_t>(frame.size() - 6);
  ASSERT_EQ(::send(clients[0], frame.data() + 6, frame.size() - 6, 0), rest);
  EXPECT_EQ(replyText(reply(clients[0])), "slow")
      << "dropped for stalling while the other was answered";
  for (const int fd : clients) ::close(fd);
}

}  // namespace
}  // namespace twinlens
