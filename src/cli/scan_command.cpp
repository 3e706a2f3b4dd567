#include <cstdio>

#include "catalog/cataloger.hpp"
#include "catalog/defaults.hpp"
#include "catalog/match_reason.hpp"
#include "cli/command.hpp"
#include "cli/json_writer.hpp"
#include "cli/scan_session.hpp"
#include "platform/run_loop.hpp"
#include "shared/logging.hpp"

namespace twinlens::cli {

namespace {

constexpr const char* kScanUsage =
    "usage: twinlens-cli scan [--library DIR] [--source file|applescript] [--json]\n"
    "                         [--no-progress] [--log-level N]\n"
    "       twinlens-cli scan --folder DIR [--keep RULE] [--json] [--no-progress]\n"
    "                         [--log-level N]\n"
    "\n"
    "Scans an iPhoto library for duplicate photos, as the application does: reads its\n"
    "AlbumData.xml, hashes every photo whose file changed since the last scan (the hash cache\n"
    "lives under $XDG_DATA_HOME), and prints the duplicate sets, the kept photo first, each\n"
    "duplicate marked \"same file\" or \"same picture, other metadata\". Without --library,\n"
    "the library is iPhoto's RootDirectory preference. With --folder, every photo file under\n"
    "DIR is scanned instead (JPEG, PNG, HEIC/HEIF, TIFF, GIF, WebP and camera raws, known by\n"
    "name and content; hidden names and symbolic links are skipped).\n"
    "\n"
    "  --library DIR  the library folder (it holds AlbumData.xml)\n"
    "  --source S     where the catalogue comes from: file (AlbumData.xml, the default) or\n"
    "                 applescript (asked of iPhoto, which is started when it is not running\n"
    "                 and must have this library open)\n"
    "  --folder DIR   scan the photo files under DIR, at any depth\n"
    "  --keep RULE    which photo of a folder's set is kept: oldest (the default), newest,\n"
    "                 largest, or under:DIR (the one under DIR); ties go to the oldest file,\n"
    "                 then the shortest path, then the first path in byte order\n"
    "  --json         print one JSON object instead of text\n"
    "  --no-progress  no progress bar on standard error\n"
    "  --log-level N  log level 0-5 or a name (error, warn, info, debug, trace)\n"
    "\n"
    "Ctrl-C cancels between photos, keeping what was hashed for the next scan; a second\n"
    "Ctrl-C, or SIGTERM, ends the scan at once, keeping the cache as last saved.\n"
    "Exit status: 0 on success, 1 on failure, 130 when cancelled.\n";

struct Options {
  std::optional<std::string> library;
  std::optional<std::string> folder;
  std::optional<KeepRule> keepRule;
  bool json = false;
  bool progress = true;
  std::optional<bool> useAlbumDataXML;
};

// The kept photo of a set and, beside each photo, why it matched the set.
void printText(const Cataloger& cataloger) {
  for (const DuplicateSet& set : cataloger.duplicateSets()) {
    const std::vector<std::shared_ptr<Photo>>& photos = set.orderedPhotos();
    const std::vector<MatchReason> reasons = explainMatches(photos);
    for (std::size_t i = 0; i < photos.size(); ++i) {
      const Photo& photo = *photos[i];
      std::printf("%s %-6s  %s  %s%s\n", i == 0 ? "keep" : "dup ", photo.iPhotoKey().c_str(),
                  photo.caption().value_or("(null)").c_str(),
                  photo.imagePath().value_or("(null)").c_str(),
                  i == 0                ? ""
                  : reasons[i].sameFile ? "  (same file)"
                                        : "  (same picture, other metadata)");
    }
    std::printf("\n");
  }
  std::printf("%s\n", duplicatesCountDescription(cataloger.duplicatePhotos().size(), ",").c_str());
}

void printJson(const Cataloger& cataloger) {
  JsonWriter json;
  json.beginObject();
  json.key("library").value(cataloger.iPhotoLibraryPath());
  json.key("photos").value(static_cast<std::uint64_t>(cataloger.photoLibrary()->count()));
  json.key("duplicates").value(static_cast<std::uint64_t>(cataloger.duplicatePhotos().size()));
  json.key("groups").beginArray();
  for (const DuplicateSet& set : cataloger.duplicateSets()) {
    const std::vector<std::shared_ptr<Photo>>& photos = set.orderedPhotos();
    const std::vector<MatchReason> reasons = explainMatches(photos);
    json.beginObject().key("photos").beginArray();
    for (std::size_t i = 0; i < photos.size(); ++i) {
      const Photo& photo = *photos[i];
      json.beginObject();
      json.key("key").value(photo.iPhotoKey());
      json.key("caption").value(photo.caption());
      json.key("imagePath").value(photo.imagePath());
      json.key("originalPath").value(photo.originalPath());
      json.key("thumbPath").value(photo.thumbPath());
      json.key("originalSHA1").value(photo.originalSHA1());
      json.key("modifiedSHA1").value(photo.modifiedSHA1());
      json.key("event").value(cataloger.eventNameWithRollId(photo.rollId()));
      json.key("matchedBy").value(reasons[i].byOriginal ? "original" : "modified");
      json.key("sameFile").value(reasons[i].sameFile);
      json.endObject();
    }
    json.endArray().endObject();
  }
  json.endArray().endObject();
  std::fputs(json.str().c_str(), stdout);
}

bool parseOptions(std::span<const std::string_view> args, Options* options, int* status) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kScanUsage, stdout);
      *status = 0;
      return false;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--no-progress") {
      options->progress = false;
    } else if ((arg == "--library" || arg == "--log-level" || arg == "--source" ||
                arg == "--folder" || arg == "--keep") &&
               i + 1 < args.size()) {
      std::string_view word = args[++i];
      std::uint32_t level;
      if (arg == "--library") {
        options->library = std::string(word);
      } else if (arg == "--folder") {
        options->folder = std::string(word);
      } else if (arg == "--keep") {
        options->keepRule = KeepRule::fromText(word);
        if (!options->keepRule) {
          printError("--keep needs oldest, newest, largest or under:DIR");
          *status = 2;
          return false;
        }
      } else if (arg == "--source") {
        if (word != "file" && word != "applescript") {
          printError("--source needs file or applescript");
          *status = 2;
          return false;
        }
        options->useAlbumDataXML = word == "file";
      } else if (parseLogLevel(word, &level)) {
        setLogLevel(level);
      } else {
        printError("--log-level needs a level (0-5 or a name)");
        *status = 2;
        return false;
      }
    } else {
      printError("unexpected argument '" + std::string(arg) + "'");
      std::fputs(kScanUsage, stderr);
      *status = 2;
      return false;
    }
  }
  const char* clash = !options->folder   ? (options->keepRule ? "--keep needs --folder" : nullptr)
                      : options->library ? "--folder and --library exclude each other"
                      : options->useAlbumDataXML ? "--source is for iPhoto libraries, not --folder"
                                                 : nullptr;
  if (clash) {
    printError(clash);
    std::fputs(kScanUsage, stderr);
    *status = 2;
    return false;
  }
  return true;
}

// What the scan read and how fast, at Info, to judge a scan's speed by.
void logScanStatistics(const Cataloger& cataloger) {
  const Cataloger::ScanStatistics& stats = cataloger.scanStatistics();
  const double mebibytes = static_cast<double>(stats.bytesHashed) / (1024.0 * 1024.0);
  logInfo("%llu photos hashed, %llu from the cache, %.1f MiB read in %.2f s (%.1f MiB/s)",
          static_cast<unsigned long long>(stats.photosHashed),
          static_cast<unsigned long long>(stats.photosFromCache), mebibytes, stats.hashingSeconds,
          stats.hashingSeconds > 0 ? mebibytes / stats.hashingSeconds : 0.0);
}

}  // namespace

int runScan(std::span<const std::string_view> args) {
  Options options;
  int status = 0;
  if (!parseOptions(args, &options, &status)) return status;

  std::shared_ptr<Defaults> defaults = Defaults::standard();
  defaults->overrideUseAlbumDataXML(options.useAlbumDataXML.value_or(true));
  RunLoop loop;
  ScanOutcome scan;
  if (options.folder) {
    scan = scanFolder(loop, defaults, *options.folder, options.keepRule.value_or(KeepRule()),
                      progressWanted(options.progress));
  } else {
    std::optional<std::string> library = libraryFolder(options.library, *defaults);
    if (!library) return 1;
    if (options.useAlbumDataXML == false && !libraryIsIPhotos(*library, *defaults)) return 1;
    scan = scanLibrary(loop, defaults, *library, progressWanted(options.progress));
  }
  if (scan.error) {
    printError(scan.error->description());
    return scan.cancelled() ? 130 : 1;
  }
  const Cataloger* cataloger = scan.cataloger.get();
  logScanStatistics(*cataloger);
  options.json ? printJson(*cataloger) : printText(*cataloger);
  return 0;
}

}  // namespace twinlens::cli
