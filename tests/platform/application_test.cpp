#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/process.hpp"
#include "platform/process_table.hpp"
#include "platform/socket_script_host.hpp"
#include "scripting_environment.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"

namespace twinlens {
namespace {

namespace fs = std::filesystem;

std::string infoPlist(const std::string& identifier, const std::string& name) {
  std::string plist = "<plist version=\"1.0\"><dict>";
  if (!identifier.empty())
    plist += "<key>CFBundleIdentifier</key><string>" + identifier + "</string>";
  if (!name.empty()) plist += "<key>CFBundleName</key><string>" + name + "</string>";
  return plist + "<key>LSMinimumSystemVersion</key><string>10.4</string></dict></plist>";
}

// <folder>/<name>.app holding the test application as its executable.
std::string makeBundle(const std::string& folder, const std::string& name,
                       const std::string& identifier) {
  const std::string bundle = folder + "/" + name + ".app";
  fs::create_directories(bundle + "/Contents/MacOS");
  fs::copy_file(TWINLENS_TEST_APPLICATION, bundle + "/Contents/MacOS/" + name);
  std::ofstream(bundle + "/Contents/Info.plist") << infoPlist(identifier, name);
  return bundle;
}

using testing::errorMessage;
using testing::errorNumber;

// Waits, without bound on how long it takes, for `done`; a fault shows as the test's timeout.
template <typename Condition>
void eventually(Condition done) {
  while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

class LaunchedApplication : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unique = std::to_string(::getpid());
    name_ = "Viewer" + unique;
    identifier_ = "org.example.twinlens-test.Viewer" + unique;
    makeBundle(environment_.applications().path(), name_, identifier_);
  }
  void TearDown() override {
    while (Process::killProcessWithBundleIdentifier(identifier_)) {
      eventually([&] { return !Process::isProcessRunningWithBundleIdentifier(identifier_); });
    }
  }
  std::string script(const std::string& command) const {
    return "tell application \"" + name_ + "\"\n" + command + "\nend tell\n";
  }
  pid_t askPid() {
    const ScriptOutcome outcome = host_.executeSource(script("pid"));
    EXPECT_TRUE(outcome.succeeded()) << errorMessage(outcome);
    return outcome.succeeded() ? outcome.result->int32Value() : -1;
  }

  testing::ScriptingEnvironment environment_;
  SocketScriptHost host_;
  std::string name_;
  std::string identifier_;
};

TEST_F(LaunchedApplication, IsLaunchedOnceAnswersAndIsFoundByItsInformationDictionary) {
  EXPECT_FALSE(Process::isProcessRunningWithBundleIdentifier(identifier_));
  const pid_t pid = askPid();
  ASSERT_GT(pid, 0);
  EXPECT_EQ(askPid(), pid);
  const ScriptOutcome failure = host_.executeSource(script("fail"));
  EXPECT_EQ(errorNumber(failure), kScriptCantGetObjectError);
  EXPECT_EQ(errorMessage(failure), "Can't get photo id 1.");

  testing::LogCapture log(kLogLevelTrace);
  EXPECT_TRUE(Process::isProcessRunningWithBundleIdentifier(identifier_));
  EXPECT_TRUE(Process::isProcessRunningWithBundleName(name_));
  EXPECT_TRUE(Process::isProcessRunningWithKey("LSMinimumSystemVersion", "10.4"));
  EXPECT_EQ(Process::pidOfProcessRunningWithBundleIdentifier(identifier_), pid);
  EXPECT_EQ(Process::pidOfProcessRunningWithKey("CFBundleName", name_), pid);
  EXPECT_TRUE(log.contains("Process with CFBundleIdentifier = " + identifier_ + " is running"));
  EXPECT_TRUE(log.contains("Process with CFBundleIdentifier = " + identifier_ +
                           " pid = " + std::to_string(pid)));
  std::string otherCase = identifier_;
  otherCase[4] = 'E';
  EXPECT_FALSE(Process::isProcessRunningWithBundleIdentifier(otherCase));
  EXPECT_FALSE(Process::isProcessRunningWithBundleIdentifier(identifier_ + "x"));
  EXPECT_FALSE(Process::isProcessRunningWithBundleIdentifier(identifier_.substr(1)));
  EXPECT_TRUE(log.contains("Process with CFBundleIdentifier = " + otherCase + " is not running"));
}

TEST_F(LaunchedApplication, QuitSignalAndKillStopItAndTheNextScriptLaunchesItAgain) {
  const pid_t first = askPid();
  ASSERT_GT(first, 0);
  EXPECT_TRUE(host_.executeSource(script("quit")).succeeded());
  const pid_t second = askPid();
  ASSERT_GT(second, 0);
  EXPECT_NE(second, first);

  const std::string socket = environment_.socketPath(name_);
  ASSERT_TRUE(fs::exists(socket));
  ASSERT_EQ(::kill(second, SIGTERM), 0);
  eventually([&] { return !Process::isProcessRunningWithBundleIdentifier(identifier_); });
  EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));

  ASSERT_GT(askPid(), 0);
  ErrorRecord error;
  EXPECT_TRUE(Process::killProcessWithBundleIdentifier(identifier_, &error));
  eventually([&] { return !Process::isProcessRunningWithBundleIdentifier(identifier_); });
  ErrorRecord untouched("Untouched", 1, "as it was");
  EXPECT_FALSE(Process::killProcessWithBundleIdentifier(identifier_, &untouched));
  EXPECT_EQ(Process::pidOfProcessRunningWithBundleIdentifier(identifier_, &untouched), -1);
  EXPECT_FALSE(Process::isProcessRunningWithBundleName("Never Started " + name_));
  EXPECT_EQ(untouched, ErrorRecord("Untouched", 1, "as it was")) << "not running is no error";
}

TEST_F(LaunchedApplication, ExecutableThatExitsAtOnceOrCannotStartIsNotRunningOrNotFound) {
  const std::string executable =
      environment_.applications().path() + "/" + name_ + ".app" + "/Contents/MacOS/" + name_;
  const struct {
    const char* contents;  // null: the test application, without execute permission
    std::int64_t number;
    std::string message;
  } cases[] = {
      {"#!/bin/sh\nexit 3\n", kScriptApplicationNotRunningError,
       "The application \"" + name_ + "\" was launched but does not answer."},
      {"\x7f\x7f\x7f\x7f\x7f\x7f\x7f\x7f", kScriptApplicationNotRunningError,
       "could not be launched: " + executable + ": Exec format"},
      {nullptr, kScriptApplicationNotFoundError, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.number);
    if (c.contents) {
      fs::remove(executable);
      std::ofstream(executable) << c.contents;
      fs::permissions(executable, fs::perms::owner_all);
    } else {
      fs::permissions(executable, fs::perms::owner_read | fs::perms::owner_write);
    }
    const ScriptOutcome outcome = host_.executeSource(script("pid"));
    EXPECT_EQ(errorNumber(outcome), c.number);
    EXPECT_NE(errorMessage(outcome).find(c.message), std::string::npos) << errorMessage(outcome);
  }
}

TEST(ApplicationSearchPath, EnvironmentFoldersComeFirstThenTheBuildAndInstallFolders) {
  testing::ScriptingEnvironment environment;
  testing::TempDir first, second;
  environment.set("TWINLENS_APPLICATIONS_PATH", ":" + first.path() + "::" + second.path() + ":");
  const std::vector<std::string> folders = SocketScriptHost::applicationSearchPath();
  ASSERT_EQ(folders.size(), 4u);
  EXPECT_EQ(folders[0], first.path());
  EXPECT_EQ(folders[1], second.path());
  EXPECT_TRUE(folders[2].ends_with("/Applications"));
  EXPECT_TRUE(folders[3].ends_with("/lib/twinlens/Applications"));

  makeBundle(second.path(), "Viewer", "org.example.second");
  EXPECT_EQ(SocketScriptHost::applicationExecutable("Viewer"),
            second.path() + "/Viewer.app/Contents/MacOS/Viewer");
  makeBundle(first.path(), "Viewer", "org.example.first");
  EXPECT_EQ(SocketScriptHost::applicationExecutable("Viewer"),
            first.path() + "/Viewer.app/Contents/MacOS/Viewer");
  EXPECT_FALSE(SocketScriptHost::applicationExecutable("viewer"));
}

// A folder laid out as /proc, with processes whose executables are links the test points.
class FakeProcFolder : public ::testing::Test {
 protected:
  void addProcess(pid_t pid, const std::string& executable, const std::string& comm) {
    const std::string folder = proc_.path() + "/" + std::to_string(pid);
    fs::create_directories(folder);
    if (!executable.empty()) fs::create_symlink(executable, folder + "/exe");
    std::ofstream(folder + "/comm") << comm << "\n";
  }

  testing::TempDir proc_;
  testing::TempDir applications_;
};

TEST_F(FakeProcFolder, EnumeratesProcessesInOrderThenEndsAndAMissingFolderFailsAtOnce) {
  addProcess(42, "/usr/bin/sleep", "sleep");
  addProcess(7, "", "kworker");
  fs::create_directories(proc_.path() + "/self");
  fs::create_directories(proc_.path() + "/12x");
  const ProcessTable table = ProcessTable::read(proc_.path());
  EXPECT_EQ(table.processIdentifiers(), (std::vector<pid_t>{7, 42}));
  ProcessHandle handle;
  pid_t pid = 0;
  for (pid_t expected : {7, 42}) {
    EXPECT_EQ(table.getNextProcess(handle), 0);
    EXPECT_EQ(table.getProcessPID(handle, &pid), 0);
    EXPECT_EQ(pid, expected);
  }
  EXPECT_EQ(table.getNextProcess(handle), kProcessNotFoundResult);
  EXPECT_TRUE(handle.empty());
  EXPECT_EQ(table.getProcessPID(handle, &pid), kProcessNotFoundResult);

  // An unreadable folder fails the first step with a process behind the handle.
  const ProcessTable missing = ProcessTable::read(proc_.path() + "/missing");
  ProcessHandle first;
  EXPECT_EQ(missing.getNextProcess(first), -ENOENT);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(missing.getProcessPID(first, &pid), kProcessNotFoundResult);
  EXPECT_TRUE(missing.informationDictionary(first).empty());
}

TEST_F(FakeProcFolder, BundleExecutableHasTheBundlesInformationOtherExecutablesTheCommandName) {
  const std::string bundle = makeBundle(applications_.path(), "Viewer", "org.example.viewer");
  const std::string unnamed = makeBundle(applications_.path(), "Unnamed", "org.example.unnamed");
  std::ofstream(unnamed + "/Contents/Info.plist") << infoPlist("org.example.unnamed", "");
  const std::string broken = makeBundle(applications_.path(), "Broken", "");
  std::ofstream(broken + "/Contents/Info.plist") << "<plist><dict><key>";
  const struct {
    std::string executable;
    const char* identifier;  // null: none
    std::string name;
    std::string bundlePath;  // empty: none
  } cases[] = {
      {bundle + "/Contents/MacOS/Viewer", "org.example.viewer", "Viewer", bundle},
      {bundle + "/Contents/MacOS/Viewer (deleted)", "org.example.viewer", "Viewer", bundle},
      {unnamed + "/Contents/MacOS/Unnamed", "org.example.unnamed", "Unnamed", unnamed},
      {broken + "/Contents/MacOS/Broken", nullptr, "Broken", broken},
      {"/opt/Viewer.app/Viewer", nullptr, "comm", ""},
      {"/opt/Viewer.app/Contents/Viewer", nullptr, "comm", ""},
      {"/opt/.app/Contents/MacOS/Viewer", nullptr, "comm", ""},
      {"/opt/Viewer.app/Contents/MacOS/Helpers/Viewer", nullptr, "comm", ""},
      {"/usr/bin/Viewer", nullptr, "comm", ""},
  };
  pid_t pid = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.executable);
    addProcess(++pid, c.executable, "comm");
    const PListValue::Dictionary information =
        ProcessTable::informationDictionary(proc_.path(), pid);
    EXPECT_EQ(*information.at("CFBundleName").textValue(), c.name);
    EXPECT_EQ(information.contains("CFBundleIdentifier"), c.identifier != nullptr);
    if (c.identifier) {
      EXPECT_EQ(*information.at("CFBundleIdentifier").textValue(), c.identifier);
    }
    if (c.bundlePath.empty()) {
      EXPECT_EQ(information.size(), 1u);
    } else {
      EXPECT_EQ(*information.at("BundlePath").textValue(), c.bundlePath);
    }
  }
}

}  // namespace
}  // namespace twinlens
