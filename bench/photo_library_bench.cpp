// The photo library cache at the size of a large iPhoto library: saving and loading 100,000
// records, and the warm-rescan check (load the cache, then updateSHA1s on records whose files have
// not changed) against the bare cost of stat-ing the same files, which is the least any rescan
// must pay.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalog/photo_library.hpp"
#include "io/data_output_stream.hpp"
#include "ratio_reporter.hpp"
#include "sample/jpeg_builder.hpp"

namespace {

using namespace twinlens;

constexpr int kPhotos = 100000;
constexpr int kPhotosPerRoll = 100;
constexpr int kEditedEvery = 10;  // one photo in ten has an edited copy

const char* const kCaptions[] = {"Sunset over the harbour", "Grandma's 80th birthday",
                                 "Hiking the ridge trail, day two", "First snow in the garden",
                                 "Conference dinner"};

void writeFile(const std::string& path, const Data& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// A library folder laid out as iPhoto lays one out (Originals, Modified and Data by year and
// roll), one small JPEG per photo, with every record hashed once and the cache saved.
struct LibrarySet {
  std::string folder;
  std::string libraryPath;
  std::vector<std::shared_ptr<Photo>> photos;
  std::vector<std::string> files;

  LibrarySet() {
    const char* base = std::getenv("TMPDIR");
    folder = std::string(base && *base ? base : "/tmp") + "/twinlens-library-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) std::abort();
    ::setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    libraryPath = folder + "/Users/alice/Pictures/iPhoto Library";
    for (int i = 0; i < kPhotos; ++i) photos.push_back(makePhoto(i));
    PhotoLibrary library(libraryPath, photos, Date::now());
    if (!library.save()) std::abort();
  }
  ~LibrarySet() { std::filesystem::remove_all(folder); }

  std::shared_ptr<Photo> makePhoto(int i) {
    int roll = i / kPhotosPerRoll;
    std::string rollFolder =
        std::to_string(2004 + roll % 8) + "/Roll " + std::to_string(roll + 1) + "/";
    std::string name = "IMG_" + std::to_string(1000 + i) + ".JPG";
    std::string original = libraryPath + "/Originals/" + rollFolder + name;
    writeFile(original, sample::samplePhoto(static_cast<std::uint32_t>(i), 64, "Camera"));
    files.push_back(original);
    PListValue::Dictionary entry{
        {"ImagePath", PListValue::text(original)},
        {"ThumbPath", PListValue::text(libraryPath + "/Data/" + rollFolder + name + ".jpg")},
        {"Caption", PListValue::text(i % 3 ? "IMG_" + std::to_string(1000 + i)
                                           : std::string(kCaptions[i % 5]))},
        {"Comment", PListValue::text(i % 7 ? "" : "Taken with the new lens")},
        {"ImageType", PListValue::text("JPEG")},
        {"Aspect Ratio", PListValue::real(1.3333333)},
        {"DateAsTimerInterval", PListValue::real(100000000.0 + i * 3600.25)},
        {"Roll", PListValue::integer(roll + 1)}};
    if (i % kEditedEvery == 0) {
      std::string modified = libraryPath + "/Modified/" + rollFolder + name;
      writeFile(modified, sample::samplePhoto(static_cast<std::uint32_t>(i) + kPhotos, 64, "Edit"));
      files.push_back(modified);
      entry.insert_or_assign("OriginalPath", entry.at("ImagePath"));
      entry.insert_or_assign("ImagePath", PListValue::text(modified));
    }
    auto photo = std::make_shared<Photo>(std::to_string(i + 1));
    photo->setFromPlist(PListValue::dictionary(std::move(entry)));
    if (!photo->updateSHA1s()) std::abort();
    return photo;
  }
};

LibrarySet& library() {
  static LibrarySet set;
  return set;
}

void BM_Save(benchmark::State& state) {
  LibrarySet& set = library();
  PhotoLibrary photos(set.libraryPath, set.photos, Date::now());
  for (auto _ : state)
    if (!photos.save()) state.SkipWithError("save failed");
  state.SetItemsProcessed(state.iterations() * kPhotos);
}

void BM_WriteToMemory(benchmark::State& state) {
  LibrarySet& set = library();
  PhotoLibrary photos(set.libraryPath, set.photos, Date::now());
  for (auto _ : state) {
    auto block = std::make_shared<Data>();
    BufferedOutputStream stream(std::make_shared<DataOutputStream>(block));
    if (!photos.writeToStream(stream) || !stream.flush()) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(block->data());
  }
  state.SetItemsProcessed(state.iterations() * kPhotos);
}

void BM_Load(benchmark::State& state) {
  LibrarySet& set = library();
  for (auto _ : state) {
    auto loaded = PhotoLibrary::initFromCacheWithIPhotoLibraryPath(set.libraryPath);
    if (!loaded || loaded->count() != kPhotos) state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(state.iterations() * kPhotos);
}

void BM_WarmCheck(benchmark::State& state) {
  LibrarySet& set = library();
  for (auto _ : state) {
    auto loaded = PhotoLibrary::initFromCacheWithIPhotoLibraryPath(set.libraryPath);
    if (!loaded) state.SkipWithError("load failed");
    for (const auto& [key, photo] : loaded->photosByIPhotoKey())
      if (!photo->updateSHA1s()) state.SkipWithError("updateSHA1s failed");
  }
  state.SetItemsProcessed(state.iterations() * kPhotos);
}

void BM_BareStat(benchmark::State& state) {
  LibrarySet& set = library();
  for (auto _ : state)
    for (const std::string& path : set.files) {
      struct stat info;
      if (::stat(path.c_str(), &info) != 0) state.SkipWithError("stat failed");
      benchmark::DoNotOptimize(info.st_mtim);
    }
  state.SetItemsProcessed(state.iterations() * kPhotos);
}

BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_WriteToMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_WarmCheck)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);
BENCHMARK(BM_BareStat)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
  library();  // write the files and the cache (and so warm the caches) before any timing starts
  return twinlens::bench::runWithRatios(
      argc, argv,
      {{"BM_WarmCheck", "BM_BareStat", "warm check / bare stat"},
       {"BM_Save", "BM_WriteToMemory", "save / in-memory encoding"}});
}
