// Runs the built twinlens-cli against cache files made here.
#include <gtest/gtest.h>

#include <string>

#include "catalog/photo_library.hpp"
#include "library_fixture.hpp"
#include "support/cli_run.hpp"

namespace twinlens {
namespace {

using testing::LibraryTest;
using testing::photoWith;

using testing::CliRun;
using testing::shellQuoted;

CliRun cli(const std::string& arguments) {
  return testing::runCli(arguments);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(LibraryTest, CacheCommandPrintsEveryFieldOfALibrarysCache) {
  std::string library = dir().file("My Library");
  PhotoLibrary saved(library, {photoWith("9", "/9.jpg", "Nine"), photoWith("10", "/10.jpg", "Ten")},
                     Date::withTimeIntervalSinceReferenceDate(86400.5));
  ASSERT_TRUE(saved.save());
  CliRun run = cli("cache --library " + shellQuoted(library));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* line :
       {"version: 2\n", "count: 2\n",
        "scan date: 2001-01-02 00:00:00 +0000 (86400 seconds since 2001-01-01 00:00:00 +0000)\n",
        "\nphoto 10\n", "  caption: Ten\n", "  originalSHA1: (null)\n", "  aspectRatio: 1.500000\n",
        "  rollId: 3\n", "  originalPath: (null)\n", "  modifiedMtime_nsec: 0\n"}) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(contains(run.output, line)) << run.output;
  }
  EXPECT_TRUE(contains(run.output, "cache file: " + saved.cachePath() + "\n"));
  EXPECT_LT(run.output.find("photo 10"), run.output.find("photo 9")) << "file order";
}

TEST_F(LibraryTest, CacheCommandWritesJson) {
  PhotoLibrary saved("/lib", {photoWith("1", "/1.jpg", "say \"cheese\"\t\\")}, std::nullopt);
  ASSERT_TRUE(saved.save());
  CliRun run = cli("cache --json --file " + shellQuoted(saved.cachePath()));
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char* part : {"\"version\": 2,", "\"count\": 1,", "\"scanDate\": null,",
                           "\"caption\": \"say \\\"cheese\\\"\\u0009\\\\\"",
                           "\"modifiedSHA1\": null", "\"aspectRatio\": 1.500000"})
    EXPECT_TRUE(contains(run.output, part)) << part << "\n" << run.output;
}

TEST_F(LibraryTest, CacheCommandRefusesDamagedOrMissingFilesAndBadUsage) {
  std::string path = dir().write("v1.dat", testing::DocBytes().u(1, 4).u(0).u(1, 1).data);
  CliRun run = cli("cache --file " + shellQuoted(path));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "twinlens-cli: invalid PhotoLibrary version 1; expected 2\n");

  CliRun missing = cli("cache --file " + shellQuoted(dir().file("none.dat")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "twinlens-cli: no cache file at " + dir().file("none.dat") + "\n");
  for (const char* arguments :
       {"cache", "cache --file a --library b", "cache --file", "cache --frobnicate"}) {
    SCOPED_TRACE(arguments);
    EXPECT_EQ(cli(arguments).status, 2);
  }
  EXPECT_EQ(cli("cache --help").status, 0);
}

}  // namespace
}  // namespace twinlens
