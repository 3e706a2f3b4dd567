#include "catalog/cataloger.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>

#include "catalog/album_data_cache.hpp"
#include "catalog/defaults.hpp"
#include "catalog/read_album_data_script.hpp"
#include "file_times.hpp"
#include "photo_answer.hpp"
#include "platform/apple_xml_plist_writer.hpp"
#include "platform/plist_reader.hpp"
#include "platform/run_loop.hpp"
#include "platform/user_defaults.hpp"
#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"
#include "sample/jpeg_builder.hpp"
#include "shared/logging.hpp"
#include "support/fake_script_host.hpp"
#include "support/log_capture.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;
using testing::ScopedEnv;
using testing::TempDir;

std::string readFile(const std::string& path) {
  Data bytes = testing::readFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

struct Entry {
  std::string key;
  std::string imagePath;
  std::string originalPath;     // empty: not edited
  std::optional<int> roll = 1;  // nullopt: no "Roll" key
};

// A library folder with an AlbumData.xml written the way iPhoto writes one.
class LibraryBuilder {
 public:
  explicit LibraryBuilder(const TempDir& dir) : dir_(dir) {
    root_.put(images_, "Master Image List");
    root_.put(rolls_, "List of Rolls");
    root_.put(albums_, "List of Albums");
  }

  std::string photoFile(const std::string& name, std::uint32_t seed,
                        const std::string& exif = "Camera") {
    return dir_.write("Library/Originals/" + name, sample::samplePhoto(seed, 2000, exif));
  }
  LibraryBuilder& photo(const Entry& e) {
    auto entry = std::make_shared<DictNode>();
    entry->putString("photo " + e.key, "Caption");
    entry->putString(e.imagePath, "ImagePath");
    if (!e.originalPath.empty()) entry->putString(e.originalPath, "OriginalPath");
    entry->putString(dir_.file("thumb" + e.key + ".jpg"), "ThumbPath");
    if (e.roll) entry->putInt(*e.roll, "Roll");
    images_->put(entry, e.key);
    return *this;
  }
  // Older catalogues list rolls by AlbumId and AlbumName.
  LibraryBuilder& roll(int id, const std::string& name, bool old = false) {
    auto roll = std::make_shared<DictNode>();
    roll->putInt(id, old ? "AlbumId" : "RollID");
    roll->putString(name, old ? "AlbumName" : "RollName");
    rolls_->add(roll);
    return *this;
  }
  // An album named after the app, listing one key.
  LibraryBuilder& album(const std::string& key) {
    auto album = std::make_shared<DictNode>();
    album->putString("Twinlens", "AlbumName");
    album->put(std::make_shared<ArrayNode>(PListNodeList{std::make_shared<StringNode>(key)}),
               "KeyList");
    albums_->add(album);
    return *this;
  }
  std::string write() {
    dir_.write("Library/AlbumData.xml", *AppleXMLPListWriter::dataWithDictionary(root_));
    return dir_.file("Library");
  }

 private:
  const TempDir& dir_;
  DictNode root_;
  std::shared_ptr<DictNode> images_ = std::make_shared<DictNode>();
  std::shared_ptr<ArrayNode> rolls_ = std::make_shared<ArrayNode>();
  std::shared_ptr<ArrayNode> albums_ = std::make_shared<ArrayNode>();
};

class CatalogerTest : public ::testing::Test, public CatalogerDelegate {
 protected:
  void catalogingDidSucceed(std::uint64_t count) override {
    succeeded_ = count;
    loop_.stop();
  }
  void catalogingDidFail(const ErrorRecord& error) override {
    failure_ = error;
    loop_.stop();
  }

  // `setup` runs just before the start, e.g. to set a clock or a change callback of its own.
  std::shared_ptr<Cataloger> scan(const std::string& library,
                                  std::shared_ptr<Defaults> defaults = nullptr,
                                  unsigned hashThreads = 0, bool folder = false,
                                  const std::function<void(Cataloger&)>& setup = nullptr) {
    if (!defaults) defaults = std::make_shared<Defaults>(nullptr, nullptr);
    auto cataloger = std::make_shared<Cataloger>(loop_, std::move(defaults));
    cataloger->setHashThreadCount(hashThreads);
    cataloger->setDelegate(this);
    folder ? cataloger->setFolderPath(library) : cataloger->setIPhotoLibraryPath(library);
    cataloger->setChangeCallback([this, c = cataloger.get()](std::string_view property) {
      EXPECT_TRUE(loop_.isMainThread());
      if (property == "catalogingProgressDescription")
        progress_.push_back({c->current(), c->total()});
    });
    succeeded_.reset();
    failure_.reset();
    progress_.clear();
    if (setup) setup(*cataloger);
    cataloger->start();
    loop_.run();
    return cataloger;
  }

  // The photos of a saved cache that carry a hash, or -1 with no cache or an empty one.
  static int hashedInCache(const std::string& library, const std::string& cachePath) {
    auto cached = PhotoLibrary::initFromCacheWithIPhotoLibraryPath(library, cachePath);
    if (!cached || cached->count() == 0) return -1;
    int hashed = 0;
    for (const auto& [key, photo] : cached->photosByIPhotoKey())
      hashed += photo->originalSHA1() ? 1 : 0;
    return hashed;
  }

  static std::vector<std::string> itemKeys(const Cataloger& c) {
    std::vector<std::string> keys;
    for (const Thumbnail& t : c.thumbnails()) keys.push_back(t.iPhotoKey());
    return keys;
  }

  TempDir dir_;
  ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("data").c_str()};
  RunLoop loop_;
  std::optional<std::uint64_t> succeeded_;
  std::optional<ErrorRecord> failure_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> progress_;
};

TEST_F(CatalogerTest, FindsMetadataOnlyCopiesSkipsPhotosOutsideRollsAndReadsItsAlbum) {
  // Rolls of older catalogues are named by AlbumId and AlbumName.
  LibraryBuilder library(dir_);
  std::string a = library.photoFile("a.jpg", 1, "Camera");
  std::string aCopy = library.photoFile("a-copy.jpg", 1, "Camera, EXIF edited");
  std::string b = library.photoFile("b.jpg", 2);
  std::string outside = library.photoFile("outside.jpg", 1);
  library.roll(1, "Summer & Sun")
      .photo({"1", a, ""})
      .photo({"2", aCopy, ""})
      .photo({"3", b, ""})
      .photo({"4", outside, "", 99})
      .photo({"01", aCopy, ""})
      .photo({"1abc", aCopy, ""})
      .roll(5, "Old Event", true)
      .photo({"5", aCopy, "", 5});
  library.album("3").album("2");
  LogCapture capture(kLogLevelWarn);
  std::shared_ptr<Cataloger> cataloger = scan(library.write());
  ASSERT_TRUE(succeeded_) << failure_->description();
  EXPECT_EQ(*succeeded_, 4u) << "photos outside every listed roll or without a plain key are out";
  EXPECT_EQ(capture.linesStartingWith("WARN").size(), 2u);
  EXPECT_EQ(itemKeys(*cataloger), (std::vector<std::string>{"1", "2", "5"}));
  EXPECT_EQ(cataloger->thumbnails()[0].imageSubtitle(), "Summer & Sun");
  EXPECT_EQ(cataloger->thumbnails()[2].imageSubtitle(), "Old Event");
  EXPECT_EQ(cataloger->catalogingDescription(), "Cataloging photos in Library");
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.back(), (std::pair<std::uint64_t, std::uint64_t>{4, 4}));
  EXPECT_EQ(cataloger->catalogingProgress(), 0.999999999999);
  EXPECT_EQ(cataloger->catalogingProgressDescription(), "4 of 4 items");
  EXPECT_EQ(cataloger->twinlensAlbumKeys(), (std::set<std::string>{"2"})) << "the later album wins";
  ASSERT_EQ(cataloger->duplicatePhotosNotInAlbum().size(), 1u);
  EXPECT_EQ(cataloger->duplicatePhotosNotInAlbum()[0]->iPhotoKey(), "5");
  cataloger->removePhotosForIPhotoKeys({"2", "5"});
  EXPECT_TRUE(cataloger->thumbnails().empty());
}

TEST_F(CatalogerTest, FolderRescanHashesOnlyAddedFilesAndKeepsTheOldestCopy) {
  auto write = [this](const std::string& name, const std::string& exif, std::int64_t mtime) {
    testing::setFileTime(dir_.write("Photos/" + name, sample::samplePhoto(1, 2000, exif)), mtime);
  };
  write("new/a.jpg", "Camera", 2000);
  write("old.jpg", "Camera, edited", 1000);
  std::shared_ptr<Cataloger> cataloger = scan(dir_.file("Photos"), nullptr, 0, true);
  ASSERT_TRUE(succeeded_) << failure_->description();
  EXPECT_EQ(itemKeys(*cataloger), (std::vector<std::string>{"old.jpg", "new/a.jpg"}));
  EXPECT_EQ(cataloger->thumbnails()[1].imageSubtitle(), "new");
  write("b/c.jpg", "Camera", 3000);
  cataloger = scan(dir_.file("Photos"), nullptr, 0, true);
  ASSERT_TRUE(succeeded_) << failure_->description();
  EXPECT_EQ(cataloger->scanStatistics().photosHashed, 1u);
  EXPECT_EQ(cataloger->scanStatistics().photosFromCache, 2u);
  EXPECT_EQ(itemKeys(*cataloger), (std::vector<std::string>{"old.jpg", "new/a.jpg", "b/c.jpg"}));
}

TEST_F(CatalogerTest, RescanReusesCachedHashesAndDropsUnreadablePhotos) {
  LibraryBuilder library(dir_);
  std::string a = library.photoFile("a.jpg", 1);
  std::string b = library.photoFile("b.jpg", 1, "Other camera");
  library.roll(1, "Roll")
      .photo({"1", a, ""})
      .photo({"2", b, ""})
      .photo({"3", dir_.file("missing.jpg"), ""});
  std::string path = library.write();
  {
    LogCapture capture(kLogLevelWarn);
    scan(path);
    ASSERT_TRUE(succeeded_);
    EXPECT_EQ(*succeeded_, 2u);
    EXPECT_EQ(capture.linesStartingWith("WARN").size(), 1u) << "ignoring the missing photo";
  }
  // A rescan must not read unchanged files: make them unreadable-by-content and see the
  // cached hashes survive (same size and times, different bytes).
  testing::replaceKeepingStat(a, 7);
  std::shared_ptr<Cataloger> again = scan(path);
  ASSERT_TRUE(succeeded_);
  EXPECT_EQ(itemKeys(*again), (std::vector<std::string>{"1", "2"})) << "still matched from cache";

  // One nanosecond later the file is read again and no longer matches.
  const timespec before = testing::mtimeOf(a);
  testing::setFileTime(a, before.tv_sec, (before.tv_nsec + 1) % 1000000000);
  std::shared_ptr<Cataloger> third = scan(path);
  EXPECT_TRUE(third->thumbnails().empty());
}

// A library rebuilt at the same path reuses no stale field of a cached record under a key that
// now names another photo.
TEST_F(CatalogerTest, RescanOfAReplacedLibraryGivesWhatAFirstScanGives) {
  LibraryBuilder old(dir_);
  std::string a = old.photoFile("a.jpg", 1);
  old.roll(1, "R")
      .photo({"1", old.photoFile("a-edited.jpg", 3), a})
      .photo({"2", old.photoFile("c.jpg", 4), ""});
  std::string path = old.write();
  scan(path);
  ASSERT_TRUE(succeeded_);
  LibraryBuilder replaced(dir_);
  replaced.roll(1, "R")
      .photo({"1", replaced.photoFile("x.jpg", 5), ""})
      .photo({"2", replaced.photoFile("c.jpg", 4), "", std::nullopt})
      .photo({"3", replaced.photoFile("a-copy.jpg", 1, "copy"), ""});
  replaced.write();
  for (const char* run : {"rescan", "first scan"}) {
    SCOPED_TRACE(run);
    std::shared_ptr<Cataloger> cataloger = scan(path);
    ASSERT_TRUE(succeeded_);
    EXPECT_EQ(*succeeded_, 2u) << "photo 2 is in no roll now";
    EXPECT_TRUE(cataloger->thumbnails().empty()) << "photo 1 is no longer an edit of a.jpg";
    std::filesystem::remove_all(dir_.file("data"));
  }
}

// Photos hashed on several threads are finished in catalogue order: the same records, dropped
// photos and lines (those the hashing threads write too) as with one thread.
TEST_F(CatalogerTest, HashingThreadsKeepTheOrderOfRecordsDropsAndLines) {
  LibraryBuilder library(dir_);
  library.roll(1, "R");
  Data trailing = sample::samplePhoto(3, 2000, "Camera");
  trailing.resize(trailing.size() + 2, 0);
  const std::string trailer = dir_.write("Library/Originals/trailing.jpg", trailing);
  const std::string empty = dir_.write("Library/Originals/empty.jpg", Data());
  for (int i = 0; i < 30; ++i) {
    const std::string key = std::to_string(100 + i);
    const std::string file = library.photoFile(key + ".jpg", i % 4);
    const std::string missing = dir_.file("missing" + key + ".jpg");
    const std::string edited[] = {file, missing, empty, missing, trailer, file};
    library.photo({key, edited[i % 6], i % 6 == 3 || i % 6 == 5 ? file : ""});
  }
  const std::string path = library.write();
  std::vector<std::string> lines[2];
  std::string caches[2];
  const std::regex varying("\\[thread [0-9a-f]+\\]|0x[0-9a-f]+");
  for (unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(threads);
    std::filesystem::remove_all(dir_.file("data"));
    LogCapture capture(kLogLevelDebug);
    scan(path, nullptr, threads);
    ASSERT_TRUE(succeeded_);
    EXPECT_EQ(*succeeded_, 15u);
    const int run = threads == 1 ? 0 : 1;
    for (const std::string& line : capture.lines())
      if (line.find("scanDate") == std::string::npos)
        lines[run].push_back(std::regex_replace(line, varying, ""));
    caches[run] = readFile(PhotoLibrary::cachePathForIPhotoLibraryPath(path));
    caches[run].resize(caches[run].size() - 8);  // the scan date
  }
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(caches[0], caches[1]);
}

TEST_F(CatalogerTest, EmptyAndBrokenCatalogues) {
  LibraryBuilder empty(dir_);
  std::shared_ptr<Cataloger> cataloger = scan(empty.write());
  ASSERT_TRUE(succeeded_);
  EXPECT_EQ(*succeeded_, 0u);
  EXPECT_EQ(cataloger->catalogingProgress(), 0.0);
  EXPECT_EQ(progress_.back(), (std::pair<std::uint64_t, std::uint64_t>{0, 0}));

  dir_.write("Library/AlbumData.xml", std::string("not a plist"));
  scan(dir_.file("Library"));
  ASSERT_TRUE(failure_);
  EXPECT_TRUE(failure_->isErrorWithDomain(Cataloger::errorDomain(), Cataloger::kParseFailedError));
  ErrorRecord parseError;
  EXPECT_FALSE(PListReader::parseFile(dir_.file("Library/AlbumData.xml"), &parseError));
  EXPECT_EQ(failure_->description(), parseError.description());

  scan(dir_.file("Nowhere"));
  ASSERT_TRUE(failure_);
  EXPECT_TRUE(failure_->isErrorWithDomain("UnixErrorDomain", ENOENT));

  dir_.write(
      "Library/AlbumData.xml",
      std::string("<plist><dict><key>Master Image List</key><string>wrong kind</string>"
                  "<key>List of Rolls</key><array><integer>1</integer></array></dict></plist>"));
  scan(dir_.file("Library"));
  ASSERT_TRUE(succeeded_);
  EXPECT_EQ(*succeeded_, 0u);
}

// A catalogue written a while ago is parsed once; later scans take its scanned part from the
// album data cache until any of its file facts change.
TEST_F(CatalogerTest, SettledCatalogueIsParsedOnceUntilItChanges) {
  LibraryBuilder library(dir_);
  std::string a = library.photoFile("a.jpg", 1);
  std::string copy = library.photoFile("copy.jpg", 1, "Edited");
  library.roll(1, "Roll").photo({"1", a, ""}).photo({"2", copy, ""});
  std::string path = library.write();
  std::string catalogue = path + "/AlbumData.xml";
  const std::time_t settled = std::time(nullptr) - 600;
  testing::setFileTime(catalogue, settled, 5);
  // Same size, one nanosecond later: a changed catalogue, which moves the first photo out of every
  // roll.
  auto change = [&] {
    std::string text = readFile(catalogue);
    text.replace(text.find("<integer>1</integer>"), 20, "<integer>9</integer>");
    dir_.write("Library/AlbumData.xml", text);
    testing::setFileTime(catalogue, settled, 6);
  };
  // A damaged album data cache is only a reason to parse.
  auto damage = [&] {
    std::string stored = AlbumDataCache::cachePathForIPhotoLibraryPath(path);
    dir_.write(stored.substr(dir_.path().size() + 1), std::string("garbage"));
  };
  const struct {
    std::function<void()> before;
    bool parsed;
    std::uint64_t found;
  } runs[] = {{nullptr, true, 2},
              {nullptr, false, 2},
              {nullptr, false, 2},
              {change, true, 1},
              {damage, true, 1}};
  for (const auto& run : runs) {
    SCOPED_TRACE(&run - runs);
    if (run.before) run.before();
    LogCapture capture(kLogLevelDebug);
    std::shared_ptr<Cataloger> cataloger = scan(path);
    ASSERT_TRUE(succeeded_);
    EXPECT_EQ(*succeeded_, run.found);
    EXPECT_EQ(!capture.contains("AlbumData.xml unchanged since the last scan"), run.parsed);
    if (run.found != 2) continue;
    EXPECT_EQ(itemKeys(*cataloger), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(cataloger->thumbnails()[0].imageSubtitle(), "Roll");
  }
}

TEST_F(CatalogerTest, CancelFailsWithMinusSevenAndKeepsWhatWasHashed) {
  LibraryBuilder library(dir_);
  library.roll(1, "R");
  for (int i = 100; i < 150; ++i)
    library.photo({std::to_string(i), library.photoFile(std::to_string(i) + ".jpg", i), ""});
  std::string path = library.write();
  // Cancel while the fourth photo is being recorded: it is kept, and the photos hashing ahead of
  // it on the other threads are dropped unrecorded.
  const std::string fourth = "hashing original " + dir_.file("Library/Originals/103.jpg");
  const std::uint32_t level = globalLogLevel;
  setLogLevel(kLogLevelDebug);
  scan(path, nullptr, 4, false, [&](Cataloger& cataloger) {
    setLogSink([&](std::string_view line) {
      if (line.ends_with(fourth)) cataloger.cancelCataloging();
    });
  });
  setLogSink(nullptr);
  setLogLevel(level);
  ASSERT_TRUE(failure_);
  EXPECT_TRUE(Cataloger::isAbort(*failure_));
  EXPECT_EQ(failure_->description(), "abort requested");

  const std::string cachePath = PhotoLibrary::cachePathForIPhotoLibraryPath(path);
  ErrorRecord error;
  std::shared_ptr<PhotoLibrary> cached =
      PhotoLibrary::initFromCacheWithIPhotoLibraryPath(path, cachePath, &error);
  ASSERT_TRUE(cached) << error.description();
  EXPECT_EQ(cached->count(), 50u);
  EXPECT_FALSE(cached->scanDate()) << "a part-way cache carries no scan date";
  EXPECT_EQ(hashedInCache(path, cachePath), 4);
}

// Six photos scanned on a clock that moves a step at every reading and, when it moves, jumps 30 s
// at the report of the third photo. A report is the photo reported and hashedInCache() then.
TEST_F(CatalogerTest, ProgressWaitsForATenthOfASecondAndTheCacheIsSavedEveryThirtySeconds) {
  using Reports = std::vector<std::pair<std::uint64_t, int>>;
  struct Row {
    const char* name;
    int stepMilliseconds;
    Reports reports;
  };
  const Row rows[] = {
      {"a still clock: the first report and the final one, no part-way save",
       0,
       {{1, -1}, {6, -1}}},
      {"every photo reported; the save after the jump holds the three hashed so far",
       200,
       {{1, -1}, {2, -1}, {3, -1}, {4, 3}, {5, 3}, {6, 3}, {6, 3}}},
  };
  for (std::uint32_t seed = 1; seed <= 6; ++seed)
    dir_.write("photos/" + std::to_string(seed) + ".jpg", sample::samplePhoto(seed, 2000, "C"));
  const std::string folder = dir_.file("photos");
  const std::string cachePath = PhotoLibrary::cachePathForFolderPath(folder);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir_.file("data"));
    std::atomic<int> elapsed{0};
    Reports reports;
    std::shared_ptr<Cataloger> cataloger = scan(folder, nullptr, 1, true, [&](Cataloger& c) {
      c.setClock([&] {
        return std::chrono::steady_clock::time_point(
            std::chrono::milliseconds(elapsed.fetch_add(row.stepMilliseconds)));
      });
      c.setChangeCallback([&](std::string_view property) {
        if (property != "catalogingProgress" || c.total() == 0) return;
        reports.push_back({c.current(), hashedInCache(folder, cachePath)});
        if (c.current() == 3 && row.stepMilliseconds > 0) elapsed += 30'000;
      });
    });
    ASSERT_TRUE(cataloger->waitForWorkers(std::chrono::seconds(10)));
    ASSERT_TRUE(succeeded_) << failure_->description();
    EXPECT_EQ(reports, row.reports);
  }
}

TEST_F(CatalogerTest, ScriptSourceAsksIPhotoOnTheMainThreadAndKeepsEveryPhoto) {
  LibraryBuilder library(dir_);
  std::string a = library.photoFile("a.jpg", 1, "Camera");
  std::string aCopy = library.photoFile("a-copy.jpg", 1, "Other camera");
  std::string b = library.photoFile("b.jpg", 2);
  // The file on disk lists no roll at all; the script source must not read it.
  std::string path = library.write();
  testing::PhotoAnswer answer;
  for (const std::string& file : {a, aCopy, b})
    answer.add(AppleEventDescriptor::real(4294967296.0 + answer.ids.size() + 1), file, "");
  testing::ScopedFakeScriptHost host;
  bool onMainThread = false;
  host->answerWith([&](std::string_view) {
    onMainThread = loop_.isMainThread();
    return ScriptOutcome::success(answer.record());
  });
  auto preferences = std::make_shared<UserDefaults>("app", dir_.file("config"));
  preferences->setBoolean(true, "useAppleScript");
  auto defaults = std::make_shared<Defaults>(preferences, nullptr);

  std::shared_ptr<Cataloger> cataloger = scan(path, defaults);
  ASSERT_TRUE(succeeded_) << failure_->description();
  EXPECT_EQ(*succeeded_, 3u) << "without a roll list every photo is kept";
  EXPECT_TRUE(onMainThread);
  ASSERT_EQ(host->texts().size(), 1u);
  EXPECT_EQ(host->texts()[0], ReadAlbumDataScript::source());
  EXPECT_EQ(itemKeys(*cataloger), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(cataloger->catalogingProgressDescription(), "") << "no item counts for a script scan";

  host->failWith(kScriptApplicationNotRunningError, "Application isn't running.");
  scan(path, defaults);
  ASSERT_TRUE(failure_);
  EXPECT_EQ(*failure_, ErrorRecord("AppleScriptErrorDomain", kScriptApplicationNotRunningError,
                                   "Application isn't running."));
}

}  // namespace
}  // namespace twinlens
