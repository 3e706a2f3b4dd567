#include "catalog/cataloger.hpp"

// The scan's photo records are set up here: from iPhoto's catalogue (the album data cache, the
// parsed file or iPhoto's own answer) or from the files of a folder, each over the previous scan's
// records.

#include <future>

#include "catalog/album_data_cache.hpp"
#include "catalog/defaults.hpp"
#include "catalog/photo_folder.hpp"
#include "catalog/read_album_data_script.hpp"
#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"
#include "shared/twinlens_app.hpp"

namespace twinlens {

namespace {

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

bool Cataloger::setUpCataloguePhotos(std::vector<std::shared_ptr<Photo>>& photos,
                                     ErrorRecord* error) {
  usingAlbumDataXML_ = defaults_->useAlbumDataXML();
  // The previous records are read while the catalogue is; their lines are held and written after
  // the catalogue's, as when one followed the other.
  auto previous = std::async(std::launch::async, [this] {
    LogLines lines;
    std::vector<std::shared_ptr<Photo>> photos;
    {
      LogLineHold hold(lines);
      photos = loadPreviousPhotos();
    }
    return std::pair(std::move(photos), std::move(lines));
  });
  if (!(usingAlbumDataXML_ ? loadAlbumDataXML(error) : readAlbumDataFromIPhoto(error)))
    return false;
  auto [previousPhotos, previousLines] = previous.get();
  writeLogLines(previousLines);
  readRolls();
  photos = photosToProcess(std::move(previousPhotos));
  readTwinlensAlbumKeys();
  // The records now hold all the scan needs of the tree; freed before the hashing and the save,
  // whose own buffers would otherwise pile on top of it.
  albumDataPlist_.reset();
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

// A folder's files come in walk order, not key order, so its scan looks records up by key.
void Cataloger::loadPreviousPhotoLibrary() {
  previousPhotoLibrary_ =
      std::make_shared<PhotoLibrary>(iPhotoLibraryPath_, loadPreviousPhotos(), std::nullopt);
}

std::vector<std::shared_ptr<Photo>> Cataloger::loadPreviousPhotos() {
  ErrorRecord error;
  std::optional<std::vector<std::shared_ptr<Photo>>> previous =
      PhotoLibrary::cachedPhotos(photoLibraryCachePath(), &error);
  if (previous) return std::move(*previous);
  logError("error loading PhotoLibrary from cache: %s", error.description().c_str());
  return {};
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

std::vector<std::shared_ptr<Photo>> Cataloger::photosToProcess(
    std::vector<std::shared_ptr<Photo>> previous) {
  std::vector<std::shared_ptr<Photo>> photos;
  const auto& images = albumDataPlist_->images;
  TL_LOG_DEBUG(this, "parsed %zu photos", images ? images->size() : 0);
  if (!images) return photos;
  photos.reserve(images->size());
  // The keys come in ascending order, as the previous records do, so one walk through those finds
  // them all.
  auto cursor = previous.begin();
  for (const ScannedAlbumData::Image& image : *images) {
    const std::string_view key = image.key;
    // Scripts name a photo by its key's number, so a key like "05" would act on photo 5.
    if (!photoKeyNumber(key)) {
      logWarn("skipping photo %s because its key is not a plain decimal number",
              std::string(key).c_str());
      continue;
    }
    while (cursor != previous.end() && (*cursor)->iPhotoKey() < key) ++cursor;
    std::shared_ptr<Photo> photo;
    if (cursor != previous.end() && (*cursor)->iPhotoKey() == key) photo = std::move(*cursor++);
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

}  // namespace twinlens
