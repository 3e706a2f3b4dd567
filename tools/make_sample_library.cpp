// make-sample-library [options] DIR: writes a made-up iPhoto library into DIR (originals, edited
// versions, thumbnails and AlbumData.xml, with exact copies, metadata-only copies and edited
// photos among them) for the demo, the tests and the benchmarks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "sample/sample_library.hpp"

namespace {

using twinlens::ErrorRecord;
using twinlens::sample::SampleLibrary;
using twinlens::sample::SampleLibraryOptions;

const char* const kUsage =
    "usage: make-sample-library [options] DIR\n"
    "  --preset NAME           demo (default: about 30 photos with a few of every kind),\n"
    "                          catalogue-100k (AlbumData.xml of 100,000 photos, no image files),\n"
    "                          images-1g (1,600 photos of about 700 kB: over 1 GiB of files)\n"
    "  --photos N              number of photos\n"
    "  --image-bytes N         image data per photo, give or take a quarter\n"
    "  --seed N                different seeds give different libraries\n"
    "  --exact-copies F        fraction of photos that are byte-for-byte copies of another\n"
    "  --metadata-copies F     fraction with another photo's image data under other metadata\n"
    "  --edited F              fraction of edited photos (original plus modified file)\n"
    "  --edited-as-other F     fraction of edited photos whose modified file is another's "
    "original\n"
    "  --missing N             photos whose original file is not written\n"
    "  --unlisted N            copies in a roll that the catalogue does not list\n"
    "  --photos-per-roll N     photos per roll (event)\n"
    "  --catalogue-only        write AlbumData.xml and no image file\n"
    "  --no-twinlens-album     leave out the album named after the application\n"
    "  --plain-captions        no caption with markup characters and non-ASCII text\n"
    "  --expected              print the duplicate sets a scan should find, kept photo first\n"
    "DIR must not exist or be empty.\n";

bool applyPreset(std::string_view name, SampleLibraryOptions& options) {
  if (name == "demo") {
    options = SampleLibraryOptions{};
    return true;
  }
  options.exactCopyFraction = 0.05;
  options.metadataCopyFraction = 0.05;
  options.editedFraction = 0.05;
  options.editedAsOtherFraction = 0.01;
  options.photosPerRoll = 40;
  if (name == "catalogue-100k") {
    options.photoCount = 100000;
    options.writeImages = false;
    return true;
  }
  if (name == "images-1g") {
    options.photoCount = 1600;
    options.imageBytes = 700000;
    return true;
  }
  return false;
}

struct Command {
  SampleLibraryOptions options;
  std::string folder;
  bool printExpected = false;
};

bool complain(const std::string& message) {
  std::fprintf(stderr, "make-sample-library: %s\n", message.c_str());
  return false;
}

// Sets the option that takes a number; false when `name` is no such option.
bool setNumber(std::string_view name, double value, SampleLibraryOptions& o) {
  auto count = static_cast<std::size_t>(value);
  if (name == "--photos")
    o.photoCount = count;
  else if (name == "--image-bytes")
    o.imageBytes = count;
  else if (name == "--seed")
    o.seed = static_cast<std::uint32_t>(count);
  else if (name == "--exact-copies")
    o.exactCopyFraction = value;
  else if (name == "--metadata-copies")
    o.metadataCopyFraction = value;
  else if (name == "--edited")
    o.editedFraction = value;
  else if (name == "--edited-as-other")
    o.editedAsOtherFraction = value;
  else if (name == "--missing")
    o.missingCount = count;
  else if (name == "--unlisted")
    o.unlistedCount = count;
  else if (name == "--photos-per-roll")
    o.photosPerRoll = count;
  else
    return false;
  return true;
}

// Reads the arguments into `command`; false with a message on standard error.
bool parseArguments(int argc, char** argv, Command& command) {
  SampleLibraryOptions& o = command.options;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--catalogue-only") {
      o.writeImages = false;
    } else if (arg == "--no-twinlens-album") {
      o.twinlensAlbum = false;
    } else if (arg == "--plain-captions") {
      o.specialCaption = false;
    } else if (arg == "--expected") {
      command.printExpected = true;
    } else if (arg == "--preset" && i + 1 < argc) {
      if (!applyPreset(argv[++i], o)) return complain(std::string("unknown preset ") + argv[i]);
    } else if (arg.starts_with("--") && i + 1 < argc) {
      char* end = nullptr;
      double value = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(value >= 0))
        return complain(std::string(arg) + ": not a number: " + argv[i]);
      if (!setNumber(arg, value, o)) return complain("unknown option " + std::string(arg));
    } else if (!arg.starts_with("-") && command.folder.empty()) {
      command.folder = std::string(arg);
    } else {
      return complain(std::string("unexpected argument ") + argv[i] + "\n" + kUsage);
    }
  }
  if (command.folder.empty()) return complain(std::string("no folder given\n") + kUsage);
  return true;
}

// A stale file from an earlier run could stand where this library expects none (the missing
// photo's original), so only a new or empty folder is written into.
bool folderIsUsable(const std::filesystem::path& folder) {
  std::error_code error;
  if (!std::filesystem::exists(folder, error)) return true;
  return std::filesystem::is_directory(folder, error) && std::filesystem::is_empty(folder, error);
}

}  // namespace

int main(int argc, char** argv) {
  Command command;
  if (!parseArguments(argc, argv, command)) return 2;
  std::filesystem::path folder = std::filesystem::absolute(command.folder).lexically_normal();
  if (!folderIsUsable(folder)) {
    std::fprintf(stderr, "make-sample-library: %s exists and is not an empty folder\n",
                 folder.c_str());
    return 1;
  }
  std::string path = folder.string();
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  SampleLibrary library(path, command.options);
  ErrorRecord error;
  if (!library.write(&error)) {
    std::fprintf(stderr, "make-sample-library: %s\n", error.description().c_str());
    return 1;
  }
  auto sets = library.expectedDuplicateSets();
  std::size_t duplicates = library.expectedDuplicateKeys().size();
  std::printf(
      "%s: %zu photos in %zu rolls, AlbumData.xml of %llu bytes%s; %zu duplicates in %zu sets\n",
      path.c_str(), library.photos().size(), library.rolls().size(),
      static_cast<unsigned long long>(std::filesystem::file_size(library.albumDataPath())),
      command.options.writeImages ? "" : " (no image files)", duplicates, sets.size());
  if (command.printExpected) {
    for (const auto& set : sets) {
      for (std::size_t i = 0; i < set.size(); ++i) std::printf(i ? " %s" : "%s", set[i].c_str());
      std::printf("\n");
    }
  }
  return 0;
}
