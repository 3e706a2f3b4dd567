// The photo recogniser over arbitrary bytes: the head of the input as a file's first bytes and
// the whole input as a file name; any answer is fine, a crash or a read past the head is not.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "catalog/photo_file_type.hpp"
#include "catalog/photo_folder.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;
  const std::span<const unsigned char> head(data, std::min(size, kPhotoFileHeadLength));
  if (std::optional<PhotoFileType> type = photoFileTypeOfContent(head))
    if (photoFileTypeName(*type).empty()) __builtin_trap();
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  (void)hasPhotoExtension(name);
  if (PhotoFolder::photoKeyForRelativePath(name).size() < size) __builtin_trap();
  return 0;
}
