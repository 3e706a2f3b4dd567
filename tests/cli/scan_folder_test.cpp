// Runs the built twinlens-cli scan on a folder of photo files, and on a sample iPhoto library for
// the reasons both kinds of library now give.
#include <gtest/gtest.h>

#include "sample/jpeg_builder.hpp"
#include "sample/sample_library.hpp"
#include "support/cli_run.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::CliRun;
using testing::shellQuoted;

class ScanFolderTest : public ::testing::Test {
 protected:
  CliRun cli(const std::string& arguments) {
    return testing::runCli(arguments, "XDG_DATA_HOME=" + shellQuoted(dir_.file("data")));
  }
  testing::TempDir dir_;
};

TEST_F(ScanFolderTest, JsonNamesEveryCopyWithItsReasonAndStaysValidForAnyName) {
  const Data photo = sample::samplePhoto(1, 900, "Camera A");
  dir_.write("Photos/a.jpg", photo);
  dir_.write("Photos/b/copy.jpg", photo);
  dir_.write("Photos/c/bad\xff\nname.jpg", sample::samplePhoto(1, 900, "Camera B"));
  dir_.write("Photos/notes.txt", photo);
  const std::string folder = dir_.file("Photos");
  CliRun run = cli("scan --no-progress --json --keep under:" + shellQuoted(folder + "/c") +
                   " --folder " + shellQuoted(folder));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string parts[] = {"\"library\": \"" + folder + "\"",
                               "\"photos\": 3",
                               "\"duplicates\": 2",
                               "\"key\": \"c/bad%FF\\u000aname.jpg\"",
                               "\"caption\": \"bad\\ufffd\\u000aname.jpg\"",
                               "\"imagePath\": \"" + folder + "/b/copy.jpg\"",
                               "\"event\": \"b\"",
                               "\"modifiedSHA1\": null",
                               "\"matchedBy\": \"original\"",
                               "\"sameFile\": false"};
  for (const std::string& part : parts) {
    SCOPED_TRACE(part);
    EXPECT_NE(run.output.find(part), std::string::npos) << run.output;
  }
  const std::size_t kept = run.output.find("\"sameFile\": true");
  EXPECT_LT(kept, run.output.find("\"key\": \"a.jpg\"")) << "the retagged file under c is kept";
  EXPECT_EQ(run.output.find("\"sameFile\": true", kept + 1), std::string::npos);

  run = cli("scan --no-progress --folder " + shellQuoted(folder));
  EXPECT_NE(run.output.find("b/copy.jpg  copy.jpg  " + folder + "/b/copy.jpg  (same file)"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(cli("scan --folder " + shellQuoted(folder) + " --library x").status, 2);
  EXPECT_EQ(cli("scan --folder " + shellQuoted(folder) + " --keep biggest").status, 2);
}

TEST_F(ScanFolderTest, IPhotoLibrariesSayWhyTheirDuplicatesMatch) {
  sample::SampleLibraryOptions options;
  options.photoCount = 12;
  options.imageBytes = 2000;
  options.exactCopyFraction = 0.2;
  options.metadataCopyFraction = 0.2;
  sample::SampleLibrary library(dir_.file("Library"), options);
  ASSERT_TRUE(library.write());
  CliRun run = cli("scan --no-progress --library " + shellQuoted(library.libraryPath()));
  EXPECT_NE(run.output.find("  (same file)\n"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("  (same picture, other metadata)\n"), std::string::npos);
  run = cli("scan --no-progress --json --library " + shellQuoted(library.libraryPath()));
  EXPECT_NE(run.output.find("\"matchedBy\": \"original\""), std::string::npos) << run.output;
}

}  // namespace
}  // namespace twinlens
