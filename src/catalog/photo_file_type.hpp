#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace twinlens {

// The kinds of photo file a folder scan takes: each is known by its file name's extension and by
// the first bytes of its content, and a file is a photo only when both say so.
enum class PhotoFileType { jpeg, png, gif, webp, heif, tiff, cameraRaw };

// How many leading bytes photoFileTypeOfContent() needs at most.
inline constexpr std::size_t kPhotoFileHeadLength = 16;

// Whether `fileName` ends in a photo extension (".jpg", ".heic", ".cr2"...), in any letter case.
bool hasPhotoExtension(std::string_view fileName);

// The kind of photo the content begins with, from up to kPhotoFileHeadLength leading bytes (a
// shorter head is a shorter file); nullopt for anything else. Any bytes are safe to give.
std::optional<PhotoFileType> photoFileTypeOfContent(std::span<const unsigned char> head);

// "JPEG", "PNG", "GIF", "WebP", "HEIF", "TIFF" or "RAW".
std::string_view photoFileTypeName(PhotoFileType type);

}  // namespace twinlens
