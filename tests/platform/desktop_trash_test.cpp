#include "platform/desktop_trash.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

namespace fs = std::filesystem;

// GLib reads the home and data folders once per process, so every test shares one home.
class DesktopTrashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = std::make_unique<testing::TempDir>();
    ::setenv("HOME", home_->path().c_str(), 1);
    ::setenv("XDG_DATA_HOME", home_->file("data").c_str(), 1);
  }
  static void TearDownTestSuite() { home_.reset(); }
  void SetUp() override {
    fs::remove_all(trash_);
    fs::create_directories(trash_ / "info");
  }

  static inline std::unique_ptr<testing::TempDir> home_;
  const fs::path trash_ = home_->file("data/Trash");
};

TEST_F(DesktopTrashTest, SameNamesLandInTheTrashWithTheirOriginalPaths) {
  std::map<std::string, std::string> expected, trashed;  // Path= to content
  for (std::string folder : {"a", "b"}) {
    std::string path = home_->write(folder + "/x y\xe9t\xc3\xa9.jpg", folder);
    ASSERT_TRUE(DesktopTrash::moveToTrash(path)) << path;
    EXPECT_FALSE(fs::exists(path));
    expected[home_->path() + "/" + folder + "/x%20y%E9t%C3%A9.jpg"] = folder;
  }
  for (const auto& info : fs::directory_iterator(trash_ / "info")) {
    std::map<std::string, std::string> fields;
    std::ifstream in(info.path());
    for (std::string line; std::getline(in, line);)
      fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    auto bytes = testing::readFileBytes(trash_ / "files" / info.path().stem());
    trashed[fields["Path"]] = std::string(bytes.begin(), bytes.end());
  }
  EXPECT_EQ(trashed, expected);
}

// The info file is written before the rename, so an info folder that cannot take it fails the move
// first (a failed rename, the other way, makes GLib 2.74 leak two strings).
TEST_F(DesktopTrashTest, AFailedMoveLeavesTheFileInPlaceAndTheTrashUnchanged) {
  const fs::path info = trash_ / "info", files = trash_ / "files";
  const struct {
    const char* name;
    int infoMode;  // -1: "info" is a plain file
    std::int32_t code;
  } cases[] = {{"missing", 0700, kTrashFileGoneError},
               {"read-only trash", 0500, kTrashNotWritableError},
               {"info is no folder", -1, kTrashNotWritableError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.infoMode == 0500 && ::geteuid() == 0) continue;  // root writes anywhere
    std::string path = home_->file(c.name);
    if (c.code != kTrashFileGoneError) home_->write(c.name, "photo");
    fs::remove_all(info);
    if (c.infoMode < 0) std::ofstream(info) << "x";
    if (c.infoMode > 0) fs::create_directory(info), ::chmod(info.c_str(), c.infoMode);
    ErrorRecord error;
    EXPECT_FALSE(DesktopTrash::moveToTrash(path, &error));
    EXPECT_TRUE(error.isErrorWithDomain(DesktopTrash::errorDomain(), c.code))
        << error.description();
    EXPECT_NE(error.description().find(path), std::string::npos) << error.description();
    EXPECT_EQ(fs::exists(path), c.code != kTrashFileGoneError);
    EXPECT_TRUE(!fs::exists(files) || fs::is_empty(files));
    ::chmod(info.c_str(), 0700);
  }
}

}  // namespace
}  // namespace twinlens
