#include "library_folder.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "album_data_writer.hpp"
#include "iphoto_application.hpp"
#include "platform/plist_reader.hpp"
#include "platform/user_defaults.hpp"
#include "sample/sample_library.hpp"
#include "script_texts.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::standin {
namespace {

using namespace standin::testing;
using twinlens::testing::readFileBytes;
using twinlens::testing::ScopedEnv;
using twinlens::testing::TempDir;

PListValue parsedCatalogue(const std::string& folder) {
  ErrorRecord error;
  std::optional<PListValue> root =
      PListReader::parseFile(LibraryFolder::albumDataPath(folder), &error);
  EXPECT_TRUE(root) << error.description();
  return root ? *root : PListValue::text("unreadable");
}

// Every file of the folder but the catalogue, with its bytes.
std::map<std::string, Data> imageFiles(const std::string& folder) {
  std::map<std::string, Data> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "AlbumData.xml")
      files[entry.path().string()] = readFileBytes(entry.path().string());
  return files;
}

std::string idOf(const std::string& key) {
  return std::to_string(IPhotoLibrary::photoIdForKey(key));
}

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

  std::filesystem::create_directories(temp.file("home/Pictures/Lib"));
  ASSERT_TRUE(LibraryFolder::remember("~/Pictures/Lib"));
  EXPECT_EQ(LibraryFolder::choose(std::nullopt), temp.file("home/Pictures/Lib"));

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

TEST_F(LibraryFolderTest, QuitRewritesAnUntouchedCatalogueWithEqualContent) {
  PListValue before = parsedCatalogue(folder);
  std::unique_ptr<IPhotoApplication> app = IPhotoApplication::open(folder);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->photoCount(), library.photos().size());
  ScriptOutcome outcome = app->handle(kQuitText);
  ASSERT_TRUE(outcome.succeeded());
  EXPECT_TRUE(app->quitting());
  Data written = readFileBytes(LibraryFolder::albumDataPath(folder));
  EXPECT_EQ(std::string(written.begin(), written.end()), AlbumDataWriter::xmlText(before));
  EXPECT_EQ(parsedCatalogue(folder), before);
}

TEST_F(LibraryFolderTest, RemoveThenRestoreTrashGivesEverythingBackByteForByte) {
  PListValue before = parsedCatalogue(folder);
  std::map<std::string, Data> filesBefore = imageFiles(folder);
  std::vector<std::string> duplicates = library.expectedDuplicateKeys();
  ASSERT_FALSE(duplicates.empty());
  {
    std::unique_ptr<IPhotoApplication> app = IPhotoApplication::open(folder);
    ASSERT_TRUE(app);
    for (const std::string& key : duplicates)
      ASSERT_TRUE(app->handle(removeText({idOf(key)})).succeeded()) << key;
    ASSERT_TRUE(app->handle(kQuitText).succeeded());
  }
  PListValue trashed = parsedCatalogue(folder);
  for (const std::string& key : duplicates)
    EXPECT_FALSE(trashed.objectForKey("Master Image List")->objectForKey(key)) << key;
  EXPECT_EQ(trashed.objectForKey(kTrashKey)->arrayValue()->size(), duplicates.size());
  EXPECT_EQ(imageFiles(folder), filesBefore) << "trashed photos keep their files";

  ErrorRecord error;
  EXPECT_EQ(LibraryFolder::restoreTrash(folder, &error), duplicates.size()) << error.description();
  EXPECT_EQ(parsedCatalogue(folder), before);
  EXPECT_EQ(imageFiles(folder), filesBefore);
}

TEST_F(LibraryFolderTest, AnAnsweredMoveIsOnDiskAndTheNextInstanceWaitsForTheLastSave) {
  const std::string key = library.expectedDuplicateKeys().at(0);
  std::unique_ptr<IPhotoApplication> first = IPhotoApplication::open(folder);
  ASSERT_TRUE(first);
  ASSERT_TRUE(first->handle(removeText({idOf(key)})).succeeded());
  EXPECT_EQ(parsedCatalogue(folder).objectForKey(kTrashKey)->arrayValue()->size(), 1u)
      << "saved before it was answered";

  twinlens::testing::LogCapture log(kLogLevelInfo);
  std::unique_ptr<IPhotoApplication> next;
  std::thread starting([&] { next = IPhotoApplication::open(folder); });
  auto waiting = [&] {
    for (const std::string& line : log.lines())
      if (line.find("waiting for another iPhoto to finish with " + folder) != std::string::npos)
        return true;
    return false;
  };
  while (!waiting()) std::this_thread::yield();
  ASSERT_TRUE(first->handle(removeText({idOf(library.expectedDuplicateKeys().at(1))})).succeeded());
  first.reset();
  starting.join();
  ASSERT_TRUE(next);
  for (const std::string& moved : {key, library.expectedDuplicateKeys().at(1)})
    EXPECT_EQ(next->handle(removeText({idOf(moved)}))
                  .errorInfo.at(kAppleScriptErrorNumberKey)
                  .integerValue(),
              kScriptCantGetObjectError)
        << moved << " is in the trash already";
}

TEST_F(LibraryFolderTest, AQuitThatCannotSaveKeepsRunning) {
  std::unique_ptr<IPhotoApplication> app = IPhotoApplication::open(folder);
  ASSERT_TRUE(app);
  std::string path = LibraryFolder::albumDataPath(folder);
  std::filesystem::remove(path);
  std::filesystem::create_directories(path + "/in the way");
  ScriptOutcome outcome = app->handle(kQuitText);
  ASSERT_FALSE(outcome.succeeded());
  EXPECT_EQ(outcome.errorInfo.at(kAppleScriptErrorNumberKey).integerValue(),
            kScriptHandlerFailedError);
  EXPECT_TRUE(outcome.errorInfo.at(kAppleScriptErrorMessageKey)
                  .textValue()
                  ->starts_with("Can't save the library: "));
  EXPECT_FALSE(app->quitting());

  std::filesystem::remove_all(path);
  EXPECT_TRUE(app->handle(kQuitText).succeeded());
  EXPECT_TRUE(app->quitting());
  EXPECT_TRUE(app->save()) << "already saved by the quit";
}

}  // namespace
}  // namespace twinlens::standin
