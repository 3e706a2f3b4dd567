#include "library_folder.hpp"

#include <gtest/gtest.h>

#include <thread>

#include "iphoto_application.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "sample_catalogue.hpp"
#include "script_texts.hpp"
#include "shared/logging.hpp"
#include "support/fake_script_host.hpp"
#include "support/log_capture.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;
using twinlens::testing::ScopedEnv;
using twinlens::testing::TempDir;

class LibraryFolderTest : public ::testing::Test {
 protected:
  TempDir temp;
  ScopedEnv config{"XDG_CONFIG_HOME", temp.file("config").c_str()};
  ScopedEnv home{"HOME", temp.file("home").c_str()};
  std::string folder = temp.file("iPhoto Library");
  sample::SampleLibrary library{folder};

  void SetUp() override { ASSERT_TRUE(library.write()); }
};

TEST_F(LibraryFolderTest, ChoosesTheRequestedFolderElseThePreference) {
  ErrorRecord error;
  EXPECT_FALSE(LibraryFolder::choose(std::nullopt, &error));
  EXPECT_TRUE(
      error.isErrorWithDomain(LibraryFolder::errorDomain(), LibraryFolder::kNoLibraryError));
  EXPECT_NE(error.description().find("--library"), std::string::npos) << error.description();

  EXPECT_EQ(LibraryFolder::choose(folder), folder);
  ASSERT_TRUE(LibraryFolder::remember(folder));
  EXPECT_EQ(UserDefaults(kIPhotoDefaultsDomain).stringForKey(kIPhotoRootDirectoryKey), folder);
  EXPECT_EQ(LibraryFolder::choose(std::nullopt), folder);

  EXPECT_FALSE(LibraryFolder::choose(temp.file("nowhere"), &error));
  EXPECT_NE(error.description().find("not a folder"), std::string::npos) << error.description();
}

TEST_F(LibraryFolderTest, OpenPassesOnTheParsersFailures) {
  ErrorRecord error;
  EXPECT_FALSE(LibraryFolder::open(temp.path(), &error));
  EXPECT_EQ(error.domain(), kUnixErrorDomain);
  temp.write("bad/AlbumData.xml", std::string("<plist><dict><key>k</key></plist>"));
  EXPECT_FALSE(LibraryFolder::open(temp.file("bad"), &error));
  EXPECT_TRUE(error.isErrorWithDomain(PListReader::errorDomain(), kPListMalformedError));
}

TEST_F(LibraryFolderTest, AnAnsweredMoveIsOnDiskAndTheNextInstanceWaitsForTheLastSave) {
  const std::string key = library.expectedDuplicateKeys().at(0);
  std::unique_ptr<IPhotoApplication> first = IPhotoApplication::open(folder);
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->handle(removeText({idOf(key)})).succeeded());
  EXPECT_EQ(catalogueOf(folder).objectForKey(kTrashKey)->arrayValue()->size(), 1u)
      << "saved before it was answered";

  twinlens::testing::LogCapture log(kLogLevelInfo);
  std::unique_ptr<IPhotoApplication> next;
  std::thread starting([&] { next = IPhotoApplication::open(folder); });
  while (!log.contains("waiting for another iPhoto to finish with " + folder))
    std::this_thread::yield();
  ASSERT_TRUE(first->handle(removeText({idOf(library.expectedDuplicateKeys().at(1))})).succeeded());
  first.reset();
  starting.join();
  ASSERT_TRUE(next);
  for (const std::string& moved : {key, library.expectedDuplicateKeys().at(1)})
    EXPECT_EQ(twinlens::testing::errorNumber(next->handle(removeText({idOf(moved)}))),
              kScriptCantGetObjectError)
        << moved << " is in the trash already";
}

}  // namespace
}  // namespace twinlens::standin
