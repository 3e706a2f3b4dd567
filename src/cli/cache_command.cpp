#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalog/photo_library.hpp"
#include "cli/command.hpp"
#include "cli/json_writer.hpp"
#include "io/double_io.hpp"
#include "io/file_helpers.hpp"

namespace twinlens::cli {

namespace {

constexpr const char* kCacheUsage =
    "usage: twinlens-cli cache [--json] (--library DIR | --file PATH)\n"
    "\n"
    "Prints the photo library cache that a scan of the iPhoto library DIR left (or the cache\n"
    "file PATH): its version, its number of records, its scan date (none for a scan that did\n"
    "not finish) and every field of every record, in file order. Absent texts print as (null).\n"
    "\n"
    "  --library DIR  the library folder; its cache is found as a scan finds it\n"
    "  --file PATH    a cache file\n"
    "  --json         one JSON document instead of text\n"
    "\n"
    "Exit status: 1 when there is no cache file or it cannot be read, 2 for bad usage, else 0.\n";

struct Options {
  bool json = false;
  std::string library;
  std::string file;
};

// 0 when the options are usable, else the exit status to return.
int parseOptions(std::span<const std::string_view> args, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kCacheUsage, stdout);
      return -1;
    }
    bool takesValue = arg == "--library" || arg == "--file";
    if (arg == "--json") {
      options->json = true;
    } else if (takesValue && i + 1 < args.size()) {
      (arg == "--library" ? options->library : options->file) = std::string(args[++i]);
    } else {
      printError(takesValue ? std::string(arg) + " needs a path"
                            : "unexpected argument '" + std::string(arg) + "'");
      std::fputs(kCacheUsage, stderr);
      return 2;
    }
  }
  if (options->library.empty() == options->file.empty()) {
    printError("give exactly one of --library DIR and --file PATH");
    std::fputs(kCacheUsage, stderr);
    return 2;
  }
  return 0;
}

// The cache's texts are well-formed UTF-8 (the reader makes anything else absent), so only
// quoting and control characters need escaping.
std::string jsonText(const std::optional<std::string>& text) {
  return text ? jsonQuoted(*text) : "null";
}

// A double as the cache stores it, six decimals; JSON has no infinity or NaN, so those are texts.
std::string jsonDouble(double value) {
  std::string text = DoubleIO::format(value);
  return std::isfinite(value) ? text : jsonQuoted(text);
}

std::string plainText(const std::optional<std::string>& text) {
  return text ? *text : "(null)";
}

// The raw originalPath field: only an edited photo has one, and then it is the derived original.
std::optional<std::string> rawOriginalPath(const Photo& photo) {
  return photo.modifiedPath() ? photo.originalPath() : std::nullopt;
}

struct Field {
  const char* name;
  std::string text;  // as printed in text form
  std::string json;  // as printed in JSON
};

std::vector<Field> fieldsOf(const Photo& p) {
  auto text = [](const char* name, const std::optional<std::string>& value) {
    return Field{name, plainText(value), jsonText(value)};
  };
  auto number = [](const char* name, auto value) {
    std::string digits = std::to_string(value);
    return Field{name, digits, digits};
  };
  auto real = [](const char* name, double value) {
    return Field{name, DoubleIO::format(value), jsonDouble(value)};
  };
  return {text("originalSHA1", p.originalSHA1()),
          text("modifiedSHA1", p.modifiedSHA1()),
          text("iPhotoKey", p.iPhotoKey()),
          text("imagePath", p.imagePath()),
          text("originalPath", rawOriginalPath(p)),
          text("thumbPath", p.thumbPath()),
          real("aspectRatio", p.aspectRatio()),
          text("caption", p.caption()),
          text("comment", p.comment()),
          text("imageType", p.imageType()),
          number("originalFileSize", p.originalFileSize()),
          number("originalMtime_sec", p.originalMtime_sec()),
          number("originalMtime_nsec", p.originalMtime_nsec()),
          number("modifiedFileSize", p.modifiedFileSize()),
          number("modifiedMtime_sec", p.modifiedMtime_sec()),
          number("modifiedMtime_nsec", p.modifiedMtime_nsec()),
          real("dateTakenTimeIntervalSinceReferenceDate",
               p.dateTaken().timeIntervalSinceReferenceDate()),
          number("rollId", p.rollId())};
}

long long scanSeconds(const Date& date) {
  return static_cast<long long>(date.timeIntervalSinceReferenceDate());
}

void printText(const PhotoLibrary& library) {
  std::printf("cache file: %s\nversion: %u\ncount: %zu\n", library.cachePath().c_str(),
              PhotoLibrary::kCacheVersion, library.count());
  if (const std::optional<Date>& date = library.scanDate())
    std::printf("scan date: %s (%lld seconds since 2001-01-01 00:00:00 +0000)\n",
                date->description().c_str(), scanSeconds(*date));
  else
    std::printf("scan date: none\n");
  for (const auto& [key, photo] : library.photosByIPhotoKey()) {
    std::printf("\nphoto %s\n", key.c_str());
    for (const Field& field : fieldsOf(*photo))
      std::printf("  %s: %s\n", field.name, field.text.c_str());
  }
}

void printJson(const PhotoLibrary& library) {
  std::printf("{\n  \"cacheFile\": %s,\n  \"version\": %u,\n  \"count\": %zu,\n",
              jsonQuoted(library.cachePath()).c_str(), PhotoLibrary::kCacheVersion,
              library.count());
  if (const std::optional<Date>& date = library.scanDate())
    std::printf("  \"scanDate\": {\"text\": %s, \"secondsSinceReferenceDate\": %lld},\n",
                jsonQuoted(date->description()).c_str(), scanSeconds(*date));
  else
    std::printf("  \"scanDate\": null,\n");
  std::printf("  \"photos\": [");
  const char* separator = "\n";
  for (const auto& [key, photo] : library.photosByIPhotoKey()) {
    std::printf("%s    {", separator);
    const char* fieldSeparator = "";
    for (const Field& field : fieldsOf(*photo)) {
      std::printf("%s\"%s\": %s", fieldSeparator, field.name, field.json.c_str());
      fieldSeparator = ", ";
    }
    std::printf("}");
    separator = ",\n";
  }
  std::printf("%s]\n}\n", library.count() ? "\n  " : "");
}

}  // namespace

int runCache(std::span<const std::string_view> args) {
  Options options;
  if (int status = parseOptions(args, &options)) return status < 0 ? 0 : status;
  std::string library =
      options.library.empty() ? std::string() : absoluteNormalPath(options.library);
  std::string cacheFile =
      options.file.empty() ? PhotoLibrary::cachePathForIPhotoLibraryPath(library) : options.file;
  struct stat info;
  if (::stat(cacheFile.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    printError("no cache file at " + cacheFile);
    return 1;
  }
  ErrorRecord error;
  std::shared_ptr<PhotoLibrary> cached =
      PhotoLibrary::initFromCacheWithIPhotoLibraryPath(library, cacheFile, &error);
  if (!cached) {
    printError(error.description());
    return 1;
  }
  options.json ? printJson(*cached) : printText(*cached);
  return 0;
}

}  // namespace twinlens::cli
