#include "catalog/cataloger.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "catalog/defaults.hpp"
#include "catalog/hashing_pool.hpp"
#include "catalog/photo_hash_job.hpp"
#include "crypto/sha1_hash.hpp"
#include "io/file_helpers.hpp"
#include "io/file_lock.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

constexpr std::chrono::milliseconds kProgressInterval(100);
constexpr std::chrono::seconds kSaveInterval(30);
constexpr std::chrono::milliseconds kLockPollInterval(100);
constexpr std::size_t kPlanBatch = 1024;

// Reads the status of the next photos' files on `parts` threads at once (this one and the pool's),
// which is most of the work of a rescan where nothing changed. The pool's pieces own what they
// touch, so a cancel may leave them behind. False when cancel is seen first.
bool planBatch(const std::vector<std::shared_ptr<Photo>>& photos, std::size_t from, unsigned parts,
               HashingPool& pool, std::vector<PhotoHashJob>& batch) {
  const std::size_t count = std::min(kPlanBatch, photos.size() - from);
  const std::size_t slice = (count + parts - 1) / parts;
  auto jobs = std::make_shared<std::vector<PhotoHashJob>>(count);
  std::vector<std::shared_ptr<HashingPool::Item>> items;
  for (std::size_t begin = slice; begin < count; begin += slice) {
    auto first = photos.begin() + static_cast<std::ptrdiff_t>(from + begin);
    std::vector<std::shared_ptr<const Photo>> mine(
        first, first + static_cast<std::ptrdiff_t>(std::min(slice, count - begin)));
    items.push_back(pool.submit([jobs, mine = std::move(mine), begin] {
      for (std::size_t i = 0; i < mine.size(); ++i)
        (*jobs)[begin + i] = PhotoHashJob::plan(*mine[i]);
    }));
  }
  for (std::size_t i = 0; i < std::min(slice, count); ++i)
    (*jobs)[i] = PhotoHashJob::plan(*photos[from + i]);
  for (const auto& item : items)
    if (!pool.wait(*item)) return false;
  batch = std::move(*jobs);
  return true;
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
  // The save and the weeding only read the records, so the save runs beside the weeding, which
  // stays on this thread to reuse the memory the set-up let go.
  std::thread saving([this] {
    ErrorRecord saveError;
    if (!photoLibrary_->save(&saveError))
      logError("error saving completed PhotoLibrary file: %s", saveError.description().c_str());
  });
  DuplicateResults duplicates = weededDuplicates();
  saving.join();
  if (*cancelRequested_) return failAborted(error);
  duplicates_ = std::move(duplicates);
  return true;
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
  // Planned photos not yet handed on, which need no hashing up to the first that does.
  std::vector<PhotoHashJob> batch;
  std::size_t batchAt = 0;
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
    // With nothing hashing, the files' status is read a batch at a time on every thread; a photo
    // whose files did not change is then finished at once, with no shared job, and the first
    // photo to hash hands the rest of its batch to the pool's window.
    std::optional<PhotoHashJob> quiet;
    if (ahead.empty() && !*cancelRequested_) {
      if (batchAt == batch.size() && planned == next) {
        if (!planBatch(photos, planned, threads, *pool, batch)) return abort(next);
        batchAt = 0;
        planned += batch.size();
      }
      if (!batch[batchAt].needsHashing())
        quiet.emplace(std::move(batch[batchAt++]));
      else
        while (batchAt < batch.size()) submit(std::move(batch[batchAt++]));
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
  if (photoLibrary_) duplicates_ = weededDuplicates();
}

DuplicateResults Cataloger::weededDuplicates() const {
  return DuplicateResults::weedDuplicates(*photoLibrary_, rollNamesById_,
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
