#include "platform/user_defaults.hpp"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "io/file_helpers.hpp"
#include "io/hex_string.hpp"
#include "platform/user.hpp"
#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::ScopedEnv;

// Points $XDG_CONFIG_HOME at a fresh folder for the test and puts the old value back afterwards.
class UserDefaultsTest : public ::testing::Test {
 protected:
  std::string domainFile(const std::string& domain) const {
    return dir_.path() + "/twinlens/" + domain + ".plist";
  }
  std::string contentsOf(const std::string& path) const {
    Data bytes = testing::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }

  testing::TempDir dir_;
  ScopedEnv configHome_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_F(UserDefaultsTest, DomainIsAPlainFileInTheConfigurationFolderMayBeMissingAndIsListed) {
  EXPECT_EQ(UserDefaults::defaultsFolder(), dir_.path() + "/twinlens");
  EXPECT_EQ(UserDefaults("app").path(), domainFile("app"));
  for (const char* good : {"com.example.twinlens", "com.apple.iphoto", "a", "with space"})
    EXPECT_TRUE(UserDefaults::isValidDomain(good)) << good;
  for (const char* bad : {"", ".", "..", ".hidden", "a/b", "../etc", "tab\there"})
    EXPECT_FALSE(UserDefaults::isValidDomain(bad)) << bad;
  EXPECT_THROW(UserDefaults("../escape"), ProgrammingError);

  testing::LogCapture capture(kLogLevelError);
  UserDefaults defaults("app");
  EXPECT_FALSE(defaults.exists());
  EXPECT_EQ(defaults.integerForKey("logLevel"), std::nullopt);
  EXPECT_EQ(defaults.objectForKey("x"), nullptr);
  EXPECT_EQ(defaults.dictionaryRepresentation()->size(), 0);
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_FALSE(defaults.exists());
  EXPECT_TRUE(capture.lines().empty());

  // Files of the old store read as every other reader reads them.
  dir_.write("twinlens/old.plist", std::string("<plist version=\"1.0\"><dict><key>k</key><string>"
                                               "a &amp;amp; b</string></dict></plist>"));
  EXPECT_EQ(UserDefaults("old").stringForKey("k"), "a &amp; b");

  // These two domains are written only by their objects' destruction.
  UserDefaults("b.domain").setInteger(1, "x");
  UserDefaults("a.domain").setInteger(1, "x");
  dir_.write("twinlens/notes.txt", std::string("x"));
  EXPECT_EQ(UserDefaults::domainsInFolder(UserDefaults::defaultsFolder()),
            (std::vector<std::string>{"a.domain", "b.domain", "old"}));
  EXPECT_TRUE(UserDefaults::domainsInFolder(dir_.file("none")).empty());
}

TEST_F(UserDefaultsTest, ValuesAreWrittenAsApplesXMLPropertyListsOfTheDomain) {
  UserDefaults defaults("app");
  defaults.setInteger(5, "logLevel");
  defaults.setBoolean(true, "helpBubbleShown");
  defaults.setString("a & b <\"c'>\r", "note");
  defaults.setDouble(0.25, "ratio");
  ArrayNode list;
  list.add(std::make_shared<IntegerNode>(-1));
  list.add(std::make_shared<DictNode>());
  defaults.setObject(list, "list");
  EXPECT_TRUE(defaults.hasUnwrittenChanges());
  EXPECT_EQ(defaults.integerForKey("logLevel"), 5);
  EXPECT_FALSE(defaults.exists());
  ErrorRecord error;
  ASSERT_TRUE(defaults.synchronize(&error)) << error.description();
  EXPECT_FALSE(defaults.hasUnwrittenChanges());
  EXPECT_EQ(contentsOf(domainFile("app")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
            "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
            "version=\"1.0\">\n<dict>\n\t<key>logLevel</key>\n\t<integer>5</integer>\n\t<key>"
            "helpBubbleShown</key>\n\t<true/>\n\t<key>note</key>\n\t<string>a &amp; b "
            "&lt;&quot;c&apos;&gt;"
            "&#13;</string>\n\t<key>ratio</key>\n\t<real>0.25</real>\n\t<key>list</key>\n\t<array>"
            "\n\t\t<integer>-1</integer>\n\t\t<dict/>\n\t</array>\n</dict>\n</plist>\n");

  UserDefaults reread("app");
  EXPECT_EQ(reread.integerForKey("logLevel"), 5);
  EXPECT_EQ(reread.booleanForKey("helpBubbleShown"), true);
  EXPECT_EQ(reread.stringForKey("note"), "a & b <\"c'>\r");
  EXPECT_EQ(reread.doubleForKey("ratio"), 0.25);
  reread.setString("5", "text");
  EXPECT_EQ(reread.integerForKey("text"), std::nullopt);
  EXPECT_EQ(reread.booleanForKey("logLevel"), std::nullopt);
  EXPECT_EQ(reread.integerForKey("helpBubbleShown"), std::nullopt);
  EXPECT_EQ(reread.stringForKey("logLevel"), std::nullopt);
  EXPECT_EQ(reread.doubleForKey("logLevel"), std::nullopt);
}

// {"k": "café", "n": [-1, 2.5, true]} as Apple's binary form, with UTF-16 for "café".
const char* kBinaryPList =
    "62706c6973743030d201020304516b516e6400630061006600e9a305060713ffffffffffffffff234004000000"
    "00000009080d0f111a1e27300000000000000101000000000000000800000000000000000000000000000031";

TEST_F(UserDefaultsTest, ReadsApplesBinaryFormAndRefusesEveryBrokenPartOfIt) {
  Data good = hexStringToData(kBinaryPList);
  auto dict = UserDefaults::dictionaryWithPropertyListData(good);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->stringNodeForKey("k")->stringValue(), "caf\u00e9");
  auto list = dict->arrayNodeForKey("n");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ(list->integerNodeAtIndex(0)->longlongValue(), -1);
  EXPECT_EQ(list->realNodeAtIndex(1)->doubleValue(), 2.5);
  EXPECT_TRUE(list->booleanNodeAtIndex(2)->booleanValue());

  struct Case {
    const char* fault;
    std::size_t at;  // the last byte's place: the file cut before it
    std::uint8_t byte;
  } cases[] = {{"key is not a string", 9, 0x05},  {"value reference beyond the objects", 12, 9},
               {"array holds itself", 27, 0x04},  {"unpaired surrogate", 18, 0xD8},
               {"null object", 48, 0x00},         {"offset beyond the table", 56, 0x60},
               {"offset size zero", 63, 0},       {"object count beyond the table", 72, 0xff},
               {"top object is an array", 80, 4}, {"offset table beyond the end", 88, 0xff},
               {"cut short", good.size() - 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    Data bad = good;
    bad[c.at] = c.byte;
    if (c.at == good.size() - 1) bad.pop_back();
    ErrorRecord error;
    EXPECT_EQ(UserDefaults::dictionaryWithPropertyListData(bad, &error), nullptr);
    EXPECT_TRUE(error.isErrorWithDomain("PListErrorDomain", kPListMalformedError))
        << error.description();
  }
}

TEST_F(UserDefaultsTest, ObjectsAreCopiesAndReadsSeeAndWritesMergeWhatAnotherWriterWroteSince) {
  UserDefaults defaults("copies");
  ArrayNode list;
  list.add(std::make_shared<IntegerNode>(1));
  defaults.setObject(list, "list");
  list.add(std::make_shared<IntegerNode>(2));
  auto stored = std::dynamic_pointer_cast<ArrayNode>(defaults.objectForKey("list"));
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->size(), 1u);
  stored->add(std::make_shared<IntegerNode>(3));
  EXPECT_EQ(std::dynamic_pointer_cast<ArrayNode>(defaults.objectForKey("list"))->size(), 1u);

  UserDefaults reader(kIPhotoDefaultsDomain);
  EXPECT_EQ(reader.stringForKey(kIPhotoRootDirectoryKey), std::nullopt);
  for (const char* library : {"/photos/First Library", "/photos/Second Library"}) {
    UserDefaults writer(kIPhotoDefaultsDomain);
    writer.setString(library, kIPhotoRootDirectoryKey);
    ASSERT_TRUE(writer.synchronize());
    EXPECT_EQ(reader.stringForKey(kIPhotoRootDirectoryKey), library);
  }
  UserDefaults first("app"), second("app");
  EXPECT_EQ(first.integerForKey("a"), std::nullopt);
  EXPECT_EQ(second.integerForKey("b"), std::nullopt);
  first.setInteger(1, "a");
  second.setInteger(2, "b");
  ASSERT_TRUE(first.synchronize());
  ASSERT_TRUE(second.synchronize());
  auto file = DictNode::dictNodeWithContentsOfXMLFile(domainFile("app"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->orderedKeySet(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(second.integerForKey("a"), 1);
  EXPECT_EQ(first.integerForKey("b"), 2);
}

TEST_F(UserDefaultsTest, DamagedFileIsReportedOnceReadAsEmptyAndKeptAsideWhenAValueIsWritten) {
  std::string path = dir_.write("twinlens/app.plist", std::string("<plist><dict><key>a"));
  testing::LogCapture capture(kLogLevelError);
  UserDefaults defaults("app");
  EXPECT_EQ(defaults.integerForKey("a"), std::nullopt);
  EXPECT_EQ(defaults.stringForKey("a"), std::nullopt);
  EXPECT_EQ(defaults.dictionaryRepresentation()->size(), 0);
  auto errors = capture.linesStartingWith("ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find(path), std::string::npos);
  EXPECT_NE(errors[0].find("damaged"), std::string::npos);
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(contentsOf(path), "<plist><dict><key>a");

  defaults.setInteger(3, "logLevel");
  ASSERT_TRUE(defaults.synchronize());
  EXPECT_EQ(contentsOf(path + ".damaged"), "<plist><dict><key>a");
  auto file = DictNode::dictNodeWithContentsOfXMLFile(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->orderedKeySet(), (std::vector<std::string>{"logLevel"}));
  EXPECT_EQ(capture.linesStartingWith("ERROR").size(), 1u);
}

TEST_F(UserDefaultsTest, FailedSynchronizeKeepsTheChangesAndReplacesNothing) {
  testing::LogCapture capture(kLogLevelNone);
  for (bool folderForFile : {true, false}) {
    SCOPED_TRACE(folderForFile);
    std::filesystem::remove_all(dir_.file("twinlens"));
    const std::string blocker = folderForFile ? domainFile("app") : dir_.file("twinlens");
    if (folderForFile)
      std::filesystem::create_directories(blocker);
    else
      dir_.write("twinlens", std::string("a file, not a folder"));
    UserDefaults defaults("app");
    EXPECT_EQ(defaults.integerForKey("a"), std::nullopt);
    defaults.setInteger(1, "a");
    ErrorRecord error;
    EXPECT_FALSE(defaults.synchronize(&error));
    EXPECT_TRUE(folderForFile
                    ? error.isErrorWithDomain("UnixErrorDomain", EISDIR)
                    : error.isErrorWithDomain("FileErrorDomain", kFileParentNotFolderError))
        << error.description();
    EXPECT_TRUE(defaults.hasUnwrittenChanges());
    EXPECT_EQ(defaults.integerForKey("a"), 1);
    EXPECT_EQ(std::filesystem::is_directory(blocker), folderForFile);
    std::filesystem::remove(blocker);
    EXPECT_TRUE(defaults.synchronize(&error)) << error.description();
  }
}

TEST_F(UserDefaultsTest, TwoProcessesWritingDifferentKeysAtOnceBothSurvive) {
  constexpr int kKeysEach = 40;
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  pid_t children[2];
  for (int child = 0; child < 2; ++child) {
    children[child] = ::fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      char go;
      ::close(start[1]);
      if (::read(start[0], &go, 1) != 0) ::_exit(3);  // the parent closing the pipe is the start
      UserDefaults defaults("shared.domain");
      for (int i = 0; i < kKeysEach; ++i) {
        defaults.setInteger(i, std::string(1, static_cast<char>('a' + child)) + std::to_string(i));
        if (!defaults.synchronize()) ::_exit(1);
      }
      ::_exit(0);
    }
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  UserDefaults defaults("shared.domain");
  auto all = defaults.dictionaryRepresentation();
  EXPECT_EQ(all->size(), 2 * kKeysEach);
  for (int i = 0; i < kKeysEach; ++i) {
    EXPECT_EQ(defaults.integerForKey("a" + std::to_string(i)), i);
    EXPECT_EQ(defaults.integerForKey("b" + std::to_string(i)), i);
  }
}

TEST(User, FoldersTakeAnAbsoluteXdgVariableElseTheHomeFolderElseThePasswordEntry) {
  ScopedEnv home("HOME", "/home/alice");
  const char* data = "XDG_DATA_HOME";
  const char* config = "XDG_CONFIG_HOME";
  struct Case {
    const char* variable;
    const char* value;
    std::string (*folder)();
    const char* expected;
  } cases[] = {
      {data, "/srv/data", User::applicationSupportPath, "/srv/data"},
      {data, "relative/data", User::applicationSupportPath, "/home/alice/.local/share"},
      {data, "", User::applicationSupportPath, "/home/alice/.local/share"},
      {data, nullptr, User::applicationSupportPath, "/home/alice/.local/share"},
      {config, "/srv/config", User::configurationPath, "/srv/config"},
      {config, "relative/config", User::configurationPath, "/home/alice/.config"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    ScopedEnv variable(c.variable, c.value);
    EXPECT_EQ(c.folder(), c.expected);
  }
  ScopedEnv noData("XDG_DATA_HOME", nullptr);
  ScopedEnv noHome("HOME", nullptr);
  std::string path = User::applicationSupportPath();
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/.local/share")) << path;
}

}  // namespace
}  // namespace twinlens
