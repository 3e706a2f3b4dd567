// The built stand-in, run as a program and reached through the socket script host, as Twinlens
// reaches iPhoto.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/socket_script_host.hpp"
#include "sample/sample_library.hpp"
#include "sample_catalogue.hpp"
#include "script_texts.hpp"
#include "support/stand_in.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;
using twinlens::testing::TempDir;

// Runs the stand-in with `arguments`; returns its process id.
pid_t start(const std::vector<std::string>& arguments) {
  std::string executable = twinlens::testing::standInExecutable();
  std::vector<char*> argv{executable.data()};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  ::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv.data(), environ);
  return pid;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits until the stand-in listens, or has died; a bounded number of looks.
bool waitUntilListening(pid_t pid) {
  for (int look = 0; look < 2000; ++look) {
    if (twinlens::testing::standInPid() == pid) return true;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

class StandInEndToEnd : public ::testing::Test {
 protected:
  TempDir temp;
  std::string folder = temp.file("Pictures/iPhoto Library");
  sample::SampleLibrary library{folder};
  SocketScriptHost host;

  void SetUp() override {
    ::mkdir(temp.file("run").c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", temp.file("run").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", temp.file("config").c_str(), 1);
    const std::string executable = twinlens::testing::standInExecutable();
    ::setenv("TWINLENS_APPLICATIONS_PATH",
             executable.substr(0, executable.find("/iPhoto.app")).c_str(), 1);
    ASSERT_TRUE(library.write());
  }

  pid_t startOnLibrary() {
    pid_t pid = start({"--library", folder, "--log-level", "warn"});
    EXPECT_TRUE(waitUntilListening(pid));
    return pid;
  }

  ScriptOutcome run(const std::string& source) { return host.executeSource(source); }
};

// The whole road (query, moves, quit, restore) is the command line's end-to-end test; here the
// stand-in's own ways of ending.
TEST_F(StandInEndToEnd, AQuitScriptEndsItCleanly) {
  pid_t pid = startOnLibrary();
  ScriptOutcome quit = run(kQuitText);
  EXPECT_TRUE(quit.succeeded());
  EXPECT_EQ(*quit.result, AppleEventDescriptor::null());
  EXPECT_EQ(exitStatusOf(pid), 0);
}

TEST_F(StandInEndToEnd, ATerminationSignalSavesTheLibrary) {
  pid_t pid = startOnLibrary();
  const std::string& key = library.photos().back().key;
  ASSERT_TRUE(run(removeText({idOf(key)})).succeeded());
  EXPECT_EQ(exitStatusOf(start({"--library", folder, "--restore-trash"})), 1)
      << "refused while a stand-in runs";
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  EXPECT_EQ(exitStatusOf(pid), 0);
  PListValue saved = catalogueOf(folder);
  EXPECT_FALSE(saved.objectForKey("Master Image List")->objectForKey(key));
  EXPECT_EQ(saved.objectForKey(kTrashKey)->arrayValue()->size(), 1u);
}

TEST_F(StandInEndToEnd, RefusesToStartWithoutALibrary) {
  EXPECT_EQ(exitStatusOf(start({})), 1);
  EXPECT_EQ(exitStatusOf(start({"--library", temp.file("nowhere")})), 1);
  EXPECT_EQ(exitStatusOf(start({"--bogus"})), 2);
}

}  // namespace
}  // namespace twinlens::standin
