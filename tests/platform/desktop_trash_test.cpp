#include "platform/desktop_trash.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::TempDir;

std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The "Key=value" lines of a .trashinfo file.
std::map<std::string, std::string> trashInfo(const std::filesystem::path& file) {
  std::map<std::string, std::string> fields;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (auto eq = line.find('='); eq != std::string::npos)
      fields[line.substr(0, eq)] = line.substr(eq + 1);
  return fields;
}

// GLib reads the home and data folders once per process, so every test shares one home.
class DesktopTrashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = std::make_unique<TempDir>();
    ::setenv("HOME", home_->path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", home_->file("data").c_str(), 1);
  }
  void SetUp() override {
    std::filesystem::remove_all(trash());
    std::filesystem::create_directories(trash() / "info");
  }
  static void TearDownTestSuite() { home_.reset(); }
  static std::filesystem::path trash() { return home_->file("data/Trash"); }

  static inline std::unique_ptr<TempDir> home_;
};

TEST_F(DesktopTrashTest, SameNamesLandInTheTrashWithInfoNamingTheirOriginalPaths) {
  const std::string name = "holiday 2009 \xe9t\xc3\xa9.jpg";
  const std::string paths[] = {home_->write("a/" + name, "first"),
                               home_->write("b/" + name, "second")};
  for (const auto& path : paths) ASSERT_TRUE(DesktopTrash::moveToTrash(path)) << path;
  std::map<std::string, std::string> trashedContents;
  for (const auto& info : std::filesystem::directory_iterator(trash() / "info")) {
    auto fields = trashInfo(info.path());
    SCOPED_TRACE(fields["Path"]);
    EXPECT_EQ(fields["Path"].find_first_of(" \xe9\xc3"), std::string::npos);
    std::tm date{};
    EXPECT_NE(::strptime(fields["DeletionDate"].c_str(), "%Y-%m-%dT%H:%M:%S", &date), nullptr);
    std::string trashed = (trash() / "files" / info.path().stem()).string();
    auto bytes = testing::readFileBytes(trashed);
    trashedContents[percentDecoded(fields["Path"])] = std::string(bytes.begin(), bytes.end());
  }
  EXPECT_EQ(trashedContents,
            (std::map<std::string, std::string>{{paths[0], "first"}, {paths[1], "second"}}));
  for (const auto& path : paths) EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DesktopTrashTest, AFailedMoveLeavesTheFileInPlaceAndTheTrashUnchanged) {
  const std::filesystem::path files = trash() / "files";
  struct Case {
    const char* name;
    std::int32_t code;
    void (*breakTrash)(const std::filesystem::path& files);
    bool needsPermissions;
  } cases[] = {
      {"missing file", kTrashFileGoneError, [](const std::filesystem::path&) {}, false},
      {"read-only trash", kTrashNotWritableError,
       [](const std::filesystem::path& files) {
         std::filesystem::create_directories(files);
         ::chmod(files.c_str(), 0500);
       },
       true},
      {"files is no folder", kTrashNotWritableError,
       [](const std::filesystem::path& files) { std::ofstream(files).put('x'); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needsPermissions && ::geteuid() == 0) continue;  // root writes anywhere
    std::string path = home_->file(std::string(c.name) + ".jpg");
    if (c.code != kTrashFileGoneError) home_->write(std::string(c.name) + ".jpg", "photo");
    c.breakTrash(files);
    ErrorRecord error;
    EXPECT_FALSE(DesktopTrash::moveToTrash(path, &error));
    EXPECT_TRUE(error.isErrorWithDomain(DesktopTrash::errorDomain(), c.code))
        << error.description();
    EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
    EXPECT_EQ(std::filesystem::exists(path), c.code != kTrashFileGoneError);
    EXPECT_TRUE(std::filesystem::is_empty(trash() / "info"));
    ::chmod(files.c_str(), 0700);
    std::filesystem::remove_all(files);
  }
}

}  // namespace
}  // namespace twinlens
