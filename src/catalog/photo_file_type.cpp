#include "catalog/photo_file_type.hpp"

#include <algorithm>
#include <array>
#include <cctype>

namespace twinlens {

namespace {

constexpr std::array<std::string_view, 30> kExtensions = {
    "jpg",  "jpeg", "jpe",  "jfif", "png", "gif", "webp", "heic", "heif", "hif",
    "avif", "tif",  "tiff", "dng",  "cr2", "cr3", "crw",  "nef",  "nrw",  "arw",
    "srf",  "sr2",  "orf",  "rw2",  "raf", "pef", "srw",  "3fr",  "erf",  "rwl"};

// Brands of the ISO base media file format that hold still pictures: HEIF and AVIF images,
// and Canon's CR3 raws.
constexpr std::array<std::string_view, 11> kStillBrands = {
    "heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1", "avif", "avis", "crx "};

bool startsWith(std::span<const unsigned char> head, std::string_view magic, std::size_t at = 0) {
  if (head.size() < at + magic.size()) return false;
  return std::equal(magic.begin(), magic.end(), head.begin() + static_cast<std::ptrdiff_t>(at),
                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
}

bool isStillBrand(std::span<const unsigned char> head) {
  if (!startsWith(head, "ftyp", 4) || head.size() < 12) return false;
  const std::string_view brand(reinterpret_cast<const char*>(head.data()) + 8, 4);
  return std::find(kStillBrands.begin(), kStillBrands.end(), brand) != kStillBrands.end();
}

// Raws whose first bytes are their own rather than a plain TIFF header.
bool isOwnRawHeader(std::span<const unsigned char> head) {
  using namespace std::string_view_literals;
  return startsWith(head, "IIRO") || startsWith(head, "IIRS") || startsWith(head, "MMOR") ||
         startsWith(head, "IIU\0"sv) || startsWith(head, "FUJIFILMCCD-RAW") ||
         startsWith(head, "II\x1a\0\0\0HEAPCCDR"sv);
}

}  // namespace

bool hasPhotoExtension(std::string_view fileName) {
  const std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  std::string_view extension = fileName.substr(dot + 1);
  return std::any_of(kExtensions.begin(), kExtensions.end(), [extension](std::string_view known) {
    return known.size() == extension.size() &&
           std::equal(known.begin(), known.end(), extension.begin(), [](char a, char b) {
             return a == std::tolower(static_cast<unsigned char>(b));
           });
  });
}

std::optional<PhotoFileType> photoFileTypeOfContent(std::span<const unsigned char> head) {
  using namespace std::string_view_literals;
  if (startsWith(head, "\xff\xd8\xff")) return PhotoFileType::jpeg;
  if (startsWith(head, "\x89PNG\r\n\x1a\n")) return PhotoFileType::png;
  if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a")) return PhotoFileType::gif;
  if (startsWith(head, "RIFF") && startsWith(head, "WEBP", 8)) return PhotoFileType::webp;
  if (isStillBrand(head))
    return startsWith(head, "crx ", 8) ? PhotoFileType::cameraRaw : PhotoFileType::heif;
  if (isOwnRawHeader(head)) return PhotoFileType::cameraRaw;
  if (startsWith(head, "II*\0"sv) || startsWith(head, "MM\0*"sv)) return PhotoFileType::tiff;
  return std::nullopt;
}

std::string_view photoFileTypeName(PhotoFileType type) {
  switch (type) {
    case PhotoFileType::jpeg:
      return "JPEG";
    case PhotoFileType::png:
      return "PNG";
    case PhotoFileType::gif:
      return "GIF";
    case PhotoFileType::webp:
      return "WebP";
    case PhotoFileType::heif:
      return "HEIF";
    case PhotoFileType::tiff:
      return "TIFF";
    case PhotoFileType::cameraRaw:
      return "RAW";
  }
  return "";
}

}  // namespace twinlens
