#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/album_data_cache.hpp"
#include "catalog/duplicate_results.hpp"
#include "catalog/keep_rule.hpp"
#include "catalog/photo_library.hpp"
#include "io/file_lock.hpp"
#include "platform/main_thread.hpp"
#include "platform/plist_value.hpp"

namespace twinlens {

class Defaults;
class PhotoHashJob;

// Told how a scan ended; always called on the main thread, after the sheet has closed.
class CatalogerDelegate {
 public:
  virtual ~CatalogerDelegate() = default;
  virtual void catalogingDidSucceed(std::uint64_t photoCount) = 0;
  // Cataloger::isAbort(error) when the scan was cancelled.
  virtual void catalogingDidFail(const ErrorRecord& error) = 0;
};

// The progress sheet of a scan, as the window system shows it. Called on the main thread only.
class CatalogingView {
 public:
  virtual ~CatalogingView() = default;
  // Brings the main window forward, shows the sheet on it and starts its activity indicator.
  virtual void showCatalogingSheet() = 0;
  virtual void endCatalogingSheet() = 0;
  virtual void hideCatalogingSheet() = 0;
};

// Runs one scan of an iPhoto library at a time: reads the catalogue, reuses the records of the
// previous scan from the cache file, brings every photo's SHA-1 texts up to date on a worker
// thread, saves the cache during and after the run, and groups the duplicates. Everything but
// the worker's own steps runs on the main thread; the worker hands progress and the outcome
// over synchronously. Create with std::make_shared: the worker keeps the Cataloger alive.
class Cataloger : public std::enable_shared_from_this<Cataloger> {
 public:
  using ChangeCallback = std::function<void(std::string_view property)>;

  Cataloger(MainThread& mainThread, std::shared_ptr<Defaults> defaults);

  void setDelegate(CatalogerDelegate* delegate) { delegate_ = delegate; }
  void setView(CatalogingView* view) { view_ = view; }
  // Told the name of each observable property ("catalogingDescription", "catalogingProgress",
  // "catalogingProgressDescription", "waitingForAnotherScan") whenever it changes; on the main
  // thread.
  void setChangeCallback(ChangeCallback callback) { changed_ = std::move(callback); }

  // Kept absolute and normalised (absoluteNormalPath()), so every spelling of one library
  // shares its cache.
  void setIPhotoLibraryPath(const std::string& path);
  const std::string& iPhotoLibraryPath() const { return iPhotoLibraryPath_; }
  // Scans a folder of photo files (PhotoFolder) instead of an iPhoto library: its path takes the
  // library's place (cache, lock, results) and `keepRule` picks each set's kept photo.
  void setFolderPath(const std::string& path, KeepRule keepRule = {});
  bool isFolder() const { return folder_; }

  // Shows the sheet and starts the worker; at most one worker per start().
  void start();
  // The sheet's Cancel: the worker stops at its next check, between photos.
  void cancelCataloging() { *cancelRequested_ = true; }
  // Blocks until every worker of start() has ended, or `timeout` passes; true when none runs. A
  // worker may still wait for the main thread, so a caller there runs its handed-over work
  // between calls.
  bool waitForWorkers(std::chrono::milliseconds timeout);
  // Threads that hash changed files; 0 (the default) means HashingPool::defaultThreadCount().
  void setHashThreadCount(unsigned count) { hashThreadCount_ = count; }
  // The clock that paces progress reports and part-way saves; steady, so a wall clock set back
  // never stalls them.
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  void setClock(Clock clock) { clock_ = std::move(clock); }

  // What the last scan read, for reports; to be read on the main thread after it ends.
  struct ScanStatistics {
    std::uint64_t photosHashed = 0;
    std::uint64_t photosFromCache = 0;
    std::uint64_t bytesHashed = 0;
    double hashingSeconds = 0;
  };
  const ScanStatistics& scanStatistics() const { return statistics_; }

  const std::string& catalogingDescription() const { return catalogingDescription_; }
  double catalogingProgress() const;
  std::string catalogingProgressDescription() const;
  std::uint64_t current() const { return current_; }
  std::uint64_t total() const { return total_; }
  // True while the worker waits for another process's scan of the same library to end: a scan
  // holds an advisory lock on the library's cache folder from start to its last save.
  bool waitingForAnotherScan() const { return waitingForAnotherScan_; }

  // Results, to be read on the main thread after catalogingDidSucceed only.
  const std::shared_ptr<PhotoLibrary>& photoLibrary() const { return photoLibrary_; }
  const std::vector<std::shared_ptr<Photo>>& duplicatePhotos() const;
  const std::vector<Thumbnail>& thumbnails() const { return duplicates_.thumbnails(); }
  const std::vector<DuplicateGroup>& duplicateGroups() const {
    return duplicates_.duplicateGroups();
  }
  const std::vector<DuplicateSet>& duplicateSets() const { return duplicates_.duplicateSets(); }
  std::vector<std::size_t> duplicatesIndexSet() const { return duplicates_.duplicatesIndexSet(); }
  std::vector<std::shared_ptr<Photo>> duplicatePhotosNotInAlbum() const;
  const std::set<std::string>& twinlensAlbumKeys() const { return twinlensAlbumKeys_; }
  std::optional<std::string> eventNameWithRollId(std::uint64_t rollId) const;
  // Drops these photos from the library (the cache file is not saved) and weeds again.
  void removePhotosForIPhotoKeys(const std::vector<std::string>& keys);
  void weedDuplicates();

  // The catalogue sources; each leaves the tree in albumDataPlist(). The file source reads
  // "<library>/AlbumData.xml"; the script source runs a ReadAlbumDataScript on the main thread
  // while the worker waits, and fails with the script's error record. A tree from iPhoto lists
  // no rolls, so the scan then keeps every photo. A scan lets the tree go once its photo records
  // are set up.
  [[nodiscard]] bool loadAlbumDataXML(ErrorRecord* error = nullptr);
  [[nodiscard]] bool readAlbumDataFromIPhoto(ErrorRecord* error = nullptr);
  // Replaces the script for the script source (run the same way); empty restores the script. Kept
  // for tests that act while the scan waits on its source.
  using ScriptAlbumDataSource = std::function<std::optional<PListValue>(ErrorRecord* error)>;
  void setScriptAlbumDataSource(ScriptAlbumDataSource source) { scriptSource_ = std::move(source); }
  const std::optional<ScannedAlbumData>& albumDataPlist() const { return albumDataPlist_; }

  static const char* errorDomain() { return "CatalogerErrorDomain"; }
  // Its codes: the catalogue file is not a property list (the parser's text as the message); the
  // scan was cancelled on request.
  static constexpr std::int32_t kParseFailedError = -1;
  static constexpr std::int32_t kAbortedError = -7;
  // True for the record of a scan cancelled on request (kAbortedError).
  static bool isAbort(const ErrorRecord& error) {
    return error.isErrorWithDomain(errorDomain(), kAbortedError);
  }

 private:
  DuplicateResults weededDuplicates() const;
  void startUp();
  void run();
  bool catalog(ErrorRecord* error);
  bool lockLibrary(FileLock& lock, ErrorRecord* error);
  // The records the scan is to bring up to date, from the catalogue or from the folder.
  bool setUpCataloguePhotos(std::vector<std::shared_ptr<Photo>>& photos, ErrorRecord* error);
  bool setUpFolderPhotos(std::vector<std::shared_ptr<Photo>>& photos, ErrorRecord* error);
  void setWaitingForAnotherScan(bool waiting);
  // The cache file of this library, which differs for a folder and an iPhoto library.
  std::string photoLibraryCachePath() const;
  void loadPreviousPhotoLibrary();
  // The previous scan's records in key order, none when the cache cannot be read (logged).
  std::vector<std::shared_ptr<Photo>> loadPreviousPhotos();
  void readRolls();
  std::vector<std::shared_ptr<Photo>> photosToProcess(std::vector<std::shared_ptr<Photo>> previous);
  void readTwinlensAlbumKeys();
  bool hashPhotos(std::vector<std::shared_ptr<Photo>>& photos, ErrorRecord* error);
  void countFinished(const PhotoHashJob& job, bool kept);
  bool failAborted(ErrorRecord* error);
  bool failParse(const ErrorRecord& parseError, ErrorRecord* error);
  // Saves the cache without a scan date: a part-way state that the next scan still reuses.
  void saveIncomplete(const std::vector<std::shared_ptr<Photo>>& photos, std::size_t index);
  void reportProgress(std::uint64_t current, std::uint64_t total);
  void setCatalogingCurrentAndTotal(std::uint64_t current, std::uint64_t total);
  void setCatalogingDescription(std::string description);
  void catalogingDidSucceed();
  void catalogingDidFail(const ErrorRecord& error);
  void announce(std::string_view property);

  // The running workers, shared with them so that the count outlives the Cataloger.
  struct Workers;

  MainThread& mainThread_;
  std::shared_ptr<Defaults> defaults_;
  CatalogerDelegate* delegate_ = nullptr;
  CatalogingView* view_ = nullptr;
  ChangeCallback changed_;
  ScriptAlbumDataSource scriptSource_;
  std::shared_ptr<Workers> workers_;

  std::string iPhotoLibraryPath_;
  bool folder_ = false;
  KeepRule keepRule_;
  std::optional<ScannedAlbumData> albumDataPlist_;
  std::shared_ptr<PhotoLibrary> photoLibrary_;
  std::shared_ptr<PhotoLibrary> previousPhotoLibrary_;
  Clock clock_ = [] { return std::chrono::steady_clock::now(); };
  std::chrono::steady_clock::time_point lastCatalogingUpdate_ =
      std::chrono::steady_clock::time_point::min();
  // Shared with the hashing threads, which may outlive a cancelled scan.
  std::shared_ptr<std::atomic<bool>> cancelRequested_ = std::make_shared<std::atomic<bool>>(false);
  unsigned hashThreadCount_ = 0;
  ScanStatistics statistics_;
  std::set<std::string> twinlensAlbumKeys_;
  RollNames rollNamesById_;
  bool rollsListed_ = true;
  DuplicateResults duplicates_;
  int startupState_ = 0;
  bool usingAlbumDataXML_ = true;
  std::string catalogingDescription_;
  std::uint64_t current_ = 0;
  std::uint64_t total_ = 0;
  bool waitingForAnotherScan_ = false;
};

}  // namespace twinlens
