#include "catalog/cataloger.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "catalog/album_data_cache.hpp"
#include "catalog/defaults.hpp"
#include "catalog/hashing_pool.hpp"
#include "catalog/photo_folder.hpp"
#include "catalog/photo_hash_job.hpp"
#include "catalog/read_album_data_script.hpp"
#include "crypto/sha1_hash.hpp"
#include "io/file_helpers.hpp"
#include "io/file_lock.hpp"
#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr std::chrono::milliseconds kProgressInterval(100);
constexpr std::chrono::seconds kSaveInterval(30);
constexpr std::chrono::milliseconds kLockPollInterval(100);

// A roll id or photo roll as a whole number: catalogues write integers, but reals and decimal
// texts read as numbers too.
std::optional<std::int64_t> wholeNumber(const PListValue* value) {
  if (!value) return std::nullopt;
  if (std::optional<std::int64_t> n = value->integerValue()) return n;
  std::optional<double> d = value->doubleValue();
  if (!d || *d != *d || *d < -9.2e18 || *d > 9.2e18) return std::nullopt;
  return static_cast<std::int64_t>(*d);
}

}  // namespace

struct Cataloger::Workers {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;
};

Cataloger::Cataloger(MainThread& mainThread, std::shared_ptr<Defaults> defaults)
    : mainThread_(mainThread),
      defaults_(std::move(defaults)),
      workers_(std::make_shared<Workers>()) {}

double Cataloger::catalogingProgress() const {
  if (total_ == 0) return 0;
  if (current_ == total_) return 0.999999999999;
  return static_cast<double>(current_) / static_cast<double>(total_);
}

std::string Cataloger::catalogingProgressDescription() const {
  if (total_ == 0 || !usingAlbumDataXML_) return "";
  return formatText("%llu of %llu items", static_cast<unsigned long long>(current_),
                    static_cast<unsigned long long>(total_));
}

void Cataloger::announce(std::string_view property) {
  if (changed_) changed_(property);
}

void Cataloger::setCatalogingDescription(std::string description) {
  catalogingDescription_ = std::move(description);
  announce("catalogingDescription");
}

void Cataloger::start() {
  mainThread_.requireMainThread();
  setCatalogingDescription("");
  total_ = current_ = 0;
  announce("catalogingProgress");
  announce("catalogingProgressDescription");
  if (view_) view_->showCatalogingSheet();
  startupState_ = 0;
  startUp();
}

void Cataloger::startUp() {
  if (startupState_ != 0) return;
  startupState_ = 2;
  setCatalogingDescription("Cataloging photos in " + lastPathComponent(iPhotoLibraryPath_));
  {
    std::lock_guard lock(workers_->mutex);
    ++workers_->running;
  }
  std::thread([self = shared_from_this(), workers = workers_]() mutable {
    self->run();
    // Counted out only once the Cataloger is let go, so a waiter may destroy it at once.
    self.reset();
    std::lock_guard lock(workers->mutex);
    --workers->running;
    workers->ended.notify_all();
  }).detach();
}

bool Cataloger::waitForWorkers(std::chrono::milliseconds timeout) {
  std::unique_lock lock(workers_->mutex);
  return workers_->ended.wait_for(lock, timeout, [this] { return workers_->running == 0; });
}

void Cataloger::run() {
  ErrorRecord error;
  bool catalogued = catalog(&error);
  SHA1Hash::releaseThreadResources();
  if (catalogued) {
    weedDuplicates();
    mainThread_.performAndWait([this] { catalogingDidSucceed(); });
  } else {
    mainThread_.performAndWait([this, &error] { catalogingDidFail(error); });
  }
}

bool Cataloger::failAborted(ErrorRecord* error) {
  TL_SET_ERROR(error, this, errorDomain(), kAbortedError, "abort requested");
  return false;
}

void Cataloger::setIPhotoLibraryPath(const std::string& path) {
  iPhotoLibraryPath_ = absoluteNormalPath(path);
  folder_ = false;
}

void Cataloger::setFolderPath(const std::string& path, KeepRule keepRule) {
  iPhotoLibraryPath_ = absoluteNormalPath(path);
  folder_ = true;
  keepRule_ = std::move(keepRule);
}

void Cataloger::setWaitingForAnotherScan(bool waiting) {
  mainThread_.performAndWait([=, this] {
    waitingForAnotherScan_ = waiting;
    announce("waitingForAnotherScan");
  });
}

// Two scans of one library would each save the cache over the other's; the later one waits,
// cancellable, until the earlier one lets go. Without a lock file the scan goes on unguarded.
bool Cataloger::lockLibrary(FileLock& lock, ErrorRecord* error) {
  ErrorRecord lockError;
  bool made =
      ensureParentPathExistsForPath(lock.path(), PhotoLibrary::kCacheFolderMode, &lockError);
  FileLock::State state = made ? lock.tryLock(&lockError) : FileLock::State::failed;
  if (state == FileLock::State::busy) {
    setWaitingForAnotherScan(true);
    while ((state = lock.tryLock(&lockError)) == FileLock::State::busy && !*cancelRequested_)
      std::this_thread::sleep_for(kLockPollInterval);
    setWaitingForAnotherScan(false);
    if (state == FileLock::State::busy) return failAborted(error);
  }
  if (state == FileLock::State::failed)
    logError("error locking %s: %s", lock.path().c_str(), lockError.description().c_str());
  return true;
}

bool Cataloger::catalog(ErrorRecord* error) {
  FileLock lock(PhotoLibrary::scanLockPathForIPhotoLibraryPath(iPhotoLibraryPath_));
  if (!lockLibrary(lock, error)) return false;
  std::vector<std::shared_ptr<Photo>> photos;
  if (!(folder_ ? setUpFolderPhotos(photos, error) : setUpCataloguePhotos(photos, error)))
    return false;
  if (!hashPhotos(photos, error)) return false;
  reportProgress(photos.size(), photos.size());
  photoLibrary_ = std::make_shared<PhotoLibrary>(iPhotoLibraryPath_, photos, Date::now(),
                                                 photoLibraryCachePath());
  ErrorRecord saveError;
  if (!photoLibrary_->save(&saveError))
    logError("error saving completed PhotoLibrary file: %s", saveError.description().c_str());
  if (*cancelRequested_) return failAborted(error);
  return true;
}

bool Cataloger::setUpCataloguePhotos(std::vector<std::shared_ptr<Photo>>& photos,
                                     ErrorRecord* error) {
  usingAlbumDataXML_ = defaults_->useAlbumDataXML();
  if (!(usingAlbumDataXML_ ? loadAlbumDataXML(error) : readAlbumDataFromIPhoto(error)))
    return false;
  loadPreviousPhotoLibrary();
  readRolls();
  photos = photosToProcess();
  readTwinlensAlbumKeys();
  // The records now hold all the scan needs of the tree and the old cache; freed before the
  // hashing and the save, whose own buffers would otherwise pile on top of them.
  albumDataPlist_.reset();
  previousPhotoLibrary_.reset();
  return true;
}

bool Cataloger::setUpFolderPhotos(std::vector<std::shared_ptr<Photo>>& photos, ErrorRecord* error) {
  const PhotoFolder folder(iPhotoLibraryPath_);
  std::optional<std::vector<PhotoFolder::File>> files =
      folder.photoFiles(cancelRequested_.get(), error);
  if (!files) return false;
  if (*cancelRequested_) return failAborted(error);
  loadPreviousPhotoLibrary();
  twinlensAlbumKeys_.clear();
  photos = folder.photosToProcess(*files, previousPhotoLibrary_.get(), rollNamesById_);
  previousPhotoLibrary_.reset();
  return true;
}

// A catalogue that is still the file of the last scan is taken from the album data cache; any
// other is parsed and its scanned part stored for next time.
bool Cataloger::loadAlbumDataXML(ErrorRecord* error) {
  const std::string path = iPhotoLibraryPath_ + "/AlbumData.xml";
  const std::string cachePath = AlbumDataCache::cachePathForIPhotoLibraryPath(iPhotoLibraryPath_);
  ErrorRecord cacheError;
  if (std::optional<ScannedAlbumData> stored = AlbumDataCache::load(cachePath, path, &cacheError)) {
    TL_LOG_DEBUG(this, "AlbumData.xml unchanged since the last scan");
    albumDataPlist_ = std::move(stored);
    return true;
  }
  TL_LOG_DEBUG(this, "parsing AlbumData.xml: %s", cacheError.description().c_str());
  std::optional<AlbumDataCache::Identity> identity = AlbumDataCache::identityOfFile(path);
  ErrorRecord parseError;
  std::optional<PListValue> root = PListReader::parseFile(path, &parseError);
  if (!root) return failParse(parseError, error);
  ErrorRecord saveError;
  if (identity && !AlbumDataCache::save(cachePath, *identity, *root, &saveError))
    logError("error saving album data cache: %s", saveError.description().c_str());
  albumDataPlist_ = ScannedAlbumData::fromTree(std::move(*root));
  return true;
}

// A catalogue that is not a property list fails the scan with the parser's text; a file that
// cannot be read keeps its system record.
bool Cataloger::failParse(const ErrorRecord& parseError, ErrorRecord* error) {
  if (parseError.domain() == PListReader::errorDomain())
    TL_SET_ERROR(error, this, errorDomain(), kParseFailedError, "%s",
                 parseError.description().c_str());
  else if (error)
    *error = parseError;
  return false;
}

bool Cataloger::readAlbumDataFromIPhoto(ErrorRecord* error) {
  std::optional<PListValue> root;
  ErrorRecord scriptError;
  auto ask = [&] {
    if (scriptSource_) {
      root = scriptSource_(&scriptError);
      return;
    }
    ReadAlbumDataScript script;
    script.execute();
    if (script.errorOccurred())
      scriptError = script.lastError().value_or(ErrorRecord());
    else
      root = PListValue::dictionary(script.albumDataPlist());
  };
  if (!mainThread_.performAndWait(ask)) return failAborted(error);
  if (!root) {
    if (error) *error = scriptError;
    return false;
  }
  albumDataPlist_ = ScannedAlbumData::fromTree(std::move(*root));
  return true;
}

std::string Cataloger::photoLibraryCachePath() const {
  return folder_ ? PhotoLibrary::cachePathForFolderPath(iPhotoLibraryPath_)
                 : PhotoLibrary::cachePathForIPhotoLibraryPath(iPhotoLibraryPath_);
}

void Cataloger::loadPreviousPhotoLibrary() {
  ErrorRecord error;
  previousPhotoLibrary_ = PhotoLibrary::initFromCacheWithIPhotoLibraryPath(
      iPhotoLibraryPath_, photoLibraryCachePath(), &error);
  if (!previousPhotoLibrary_)
    logError("error loading PhotoLibrary from cache: %s", error.description().c_str());
}

void Cataloger::readRolls() {
  rollNamesById_.clear();
  const PListValue* rolls = albumDataPlist_->tree.objectForKey("List of Rolls");
  rollsListed_ = rolls != nullptr;
  if (!rolls || !rolls->arrayValue()) return;
  for (const PListValue& roll : *rolls->arrayValue()) {
    // Older catalogues name their rolls as albums: "AlbumId" and "AlbumName".
    const PListValue* id = roll.objectForKey("RollID");
    const PListValue* name = roll.objectForKey("RollName");
    if (!id) {
      id = roll.objectForKey("AlbumId");
      name = roll.objectForKey("AlbumName");
    }
    std::optional<std::int64_t> number = wholeNumber(id);
    if (number && name && name->textValue()) rollNamesById_[*number] = *name->textValue();
  }
}

std::vector<std::shared_ptr<Photo>> Cataloger::photosToProcess() {
  std::vector<std::shared_ptr<Photo>> photos;
  const auto& images = albumDataPlist_->images;
  TL_LOG_DEBUG(this, "parsed %zu photos", images ? images->size() : 0);
  if (!images) return photos;
  photos.reserve(images->size());
  // The keys come in ascending order, as the previous library keeps its records, so one walk
  // through that library finds them all.
  const PhotoLibrary::PhotoMap* previous =
      previousPhotoLibrary_ ? &previousPhotoLibrary_->photosByIPhotoKey() : nullptr;
  auto cursor = previous ? previous->begin() : PhotoLibrary::PhotoMap::const_iterator();
  for (const ScannedAlbumData::Image& image : *images) {
    const std::string_view key = image.key;
    // Scripts name a photo by its key's number, so a key like "05" would act on photo 5.
    if (!photoKeyNumber(key)) {
      logWarn("skipping photo %s because its key is not a plain decimal number",
              std::string(key).c_str());
      continue;
    }
    std::shared_ptr<Photo> photo;
    if (previous) {
      while (cursor != previous->end() && cursor->first < key) ++cursor;
      if (cursor != previous->end() && cursor->first == key) photo = cursor->second;
    }
    if (!photo) photo = std::make_shared<Photo>(std::string(key));
    photo->setFromEntry(albumDataPlist_->entry(image));
    // A catalogue without a roll list (iPhoto's own answer to a script) keeps every photo.
    auto roll = static_cast<std::int64_t>(static_cast<std::int32_t>(photo->rollId()));
    if (rollsListed_ && !rollNamesById_.contains(roll)) {
      TL_LOG_DEBUG(this, "skipping photo %s because it's not in a roll",
                   textOrNull(photo->originalPath() ? &*photo->originalPath() : nullptr));
      continue;
    }
    photos.push_back(std::move(photo));
  }
  return photos;
}

void Cataloger::readTwinlensAlbumKeys() {
  twinlensAlbumKeys_.clear();
  const PListValue* albums = albumDataPlist_->tree.objectForKey("List of Albums");
  if (!albums || !albums->arrayValue()) return;
  const std::string albumName = TwinlensApp::duplicatesAlbumName();
  for (const PListValue& album : *albums->arrayValue()) {
    const PListValue* name = album.objectForKey("AlbumName");
    if (!name || !name->textValue() || *name->textValue() != albumName) continue;
    twinlensAlbumKeys_.clear();
    const PListValue* keys = album.objectForKey("KeyList");
    if (!keys || !keys->arrayValue()) continue;
    for (const PListValue& key : *keys->arrayValue())
      if (key.textValue()) twinlensAlbumKeys_.insert(*key.textValue());
  }
}

// Dropped records are squeezed out as the loop goes (kept records below `kept`, the rest from
// `next` on), so a library full of missing files costs no more than one full of good ones. The
// photos from `next` to `planned` have had their files' status read, and those with changed
// files are hashing on the pool; each is finished here in list order.
bool Cataloger::hashPhotos(std::vector<std::shared_ptr<Photo>>& photos, ErrorRecord* error) {
  const auto started = clock_();
  auto lastSave = started;
  TL_LOG_DEBUG(this, "updating SHA1s on %zu parsed photos", photos.size());
  const unsigned threads = hashThreadCount_ ? hashThreadCount_ : HashingPool::defaultThreadCount();
  const std::size_t window = 4 * std::size_t{threads};
  statistics_ = {};
  std::optional<HashingPool> pool;
  pool.emplace(threads, cancelRequested_);
  struct Pending {
    std::shared_ptr<PhotoHashJob> job;
    std::shared_ptr<HashingPool::Item> item;
  };
  std::deque<Pending> ahead;
  std::size_t planned = 0;
  std::size_t kept = 0;
  auto currentList = [&](std::size_t next) {
    std::vector<std::shared_ptr<Photo>> list(photos.begin(), photos.begin() + kept);
    list.insert(list.end(), photos.begin() + next, photos.end());
    return list;
  };
  auto abort = [&](std::size_t next) {
    // Photos under way are abandoned unrecorded; what was hashed so far is kept for next time.
    pool.reset();
    saveIncomplete(currentList(next), kept);
    photos.erase(photos.begin() + kept, photos.begin() + next);
    return failAborted(error);
  };
  auto submit = [&](PhotoHashJob planJob) {
    auto job = std::make_shared<PhotoHashJob>(std::move(planJob));
    std::shared_ptr<HashingPool::Item> item;
    if (job->needsHashing()) item = pool->submit([job] { job->hashFiles(); });
    ahead.push_back({std::move(job), std::move(item)});
  };
  for (std::size_t next = 0; next < photos.size(); ++next) {
    const std::size_t length = photos.size() - (next - kept);
    // With nothing hashing, a photo whose files did not change is finished at once, with no
    // shared job and no reading ahead; only a photo to hash starts the pool's window.
    std::optional<PhotoHashJob> quiet;
    if (ahead.empty() && planned == next && !*cancelRequested_) {
      PhotoHashJob job = PhotoHashJob::plan(*photos[planned++]);
      if (job.needsHashing())
        submit(std::move(job));
      else
        quiet.emplace(std::move(job));
    }
    for (;
         !ahead.empty() && planned < photos.size() && planned < next + window && !*cancelRequested_;
         ++planned)
      submit(PhotoHashJob::plan(*photos[planned]));
    if (*cancelRequested_) return abort(next);
    if (clock_() > lastCatalogingUpdate_ + kProgressInterval) {
      reportProgress(kept + 1, length);
      lastCatalogingUpdate_ = clock_();
    }
    Pending pending;
    if (!quiet) {
      pending = std::move(ahead.front());
      ahead.pop_front();
      if (pending.item && !pool->wait(*pending.item)) return abort(next);
    }
    PhotoHashJob& job = quiet ? *quiet : *pending.job;
    Photo& photo = *photos[next];
    ErrorRecord photoError;
    const bool updated = job.finish(photo, &photoError);
    countFinished(job, updated);
    if (!updated) {
      const char* path = textOrNull(photo.originalPath() ? &*photo.originalPath() : nullptr);
      logError("error updating SHA1s for %s: %s", path, photoError.description().c_str());
      logWarn("ignoring %s", path);
      continue;
    }
    if (kept != next) photos[kept] = std::move(photos[next]);
    ++kept;
    if (clock_() - lastSave > kSaveInterval) {
      saveIncomplete(currentList(next + 1), kept - 1);
      lastSave = clock_();
    }
  }
  photos.resize(kept);
  statistics_.hashingSeconds = std::chrono::duration<double>(clock_() - started).count();
  return true;
}

void Cataloger::countFinished(const PhotoHashJob& job, bool kept) {
  if (job.needsHashing()) {
    ++statistics_.photosHashed;
    statistics_.bytesHashed += job.bytesToHash();
  } else if (kept) {
    ++statistics_.photosFromCache;
  }
}

void Cataloger::saveIncomplete(const std::vector<std::shared_ptr<Photo>>& photos,
                               std::size_t index) {
  TL_LOG_DEBUG(this, "index = %zu; saving albumset plist", index);
  ErrorRecord saveError;
  if (!PhotoLibrary(iPhotoLibraryPath_, photos, std::nullopt, photoLibraryCachePath())
           .save(&saveError))
    logError("error saving incomplete PhotoLibrary file: %s", saveError.description().c_str());
}

void Cataloger::reportProgress(std::uint64_t current, std::uint64_t total) {
  mainThread_.performAndWait([=, this] { setCatalogingCurrentAndTotal(current, total); });
}

void Cataloger::setCatalogingCurrentAndTotal(std::uint64_t current, std::uint64_t total) {
  mainThread_.requireMainThread();
  current_ = static_cast<std::uint32_t>(current);
  total_ = static_cast<std::uint32_t>(total);
  announce("catalogingProgress");
  announce("catalogingProgressDescription");
}

void Cataloger::catalogingDidSucceed() {
  if (view_) view_->endCatalogingSheet();
  if (delegate_) delegate_->catalogingDidSucceed(photoLibrary_->count());
}

void Cataloger::catalogingDidFail(const ErrorRecord& error) {
  if (view_) {
    view_->hideCatalogingSheet();
    view_->endCatalogingSheet();
  }
  if (delegate_) delegate_->catalogingDidFail(error);
}

void Cataloger::weedDuplicates() {
  if (!photoLibrary_) return;
  duplicates_ = DuplicateResults::weedDuplicates(*photoLibrary_, rollNamesById_,
                                                 folder_ ? &keepRule_ : nullptr);
}

const std::vector<std::shared_ptr<Photo>>& Cataloger::duplicatePhotos() const {
  return duplicates_.duplicatePhotos();
}

std::vector<std::shared_ptr<Photo>> Cataloger::duplicatePhotosNotInAlbum() const {
  return duplicates_.duplicatePhotosNotInAlbum(twinlensAlbumKeys_);
}

std::optional<std::string> Cataloger::eventNameWithRollId(std::uint64_t rollId) const {
  return twinlens::eventNameWithRollId(rollNamesById_, rollId);
}

void Cataloger::removePhotosForIPhotoKeys(const std::vector<std::string>& keys) {
  if (photoLibrary_) photoLibrary_->removePhotosForIPhotoKeys(keys);
  weedDuplicates();
}

}  // namespace twinlens
