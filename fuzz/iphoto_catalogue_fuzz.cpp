// The stand-in iPhoto's catalogue reader over arbitrary bytes: a library or a clean failure, never
// a crash. A library that nothing changed writes back the catalogue it read, that text reads back
// to the same text, and a photo moved to the trash comes back from it.
#include <cstdint>
#include <optional>
#include <string>

#include "album_data_writer.hpp"
#include "iphoto_library.hpp"
#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"

namespace {

using namespace twinlens;
using namespace twinlens::standin;

const bool quiet = (setLogSink([](std::string_view) {}), true);

std::optional<PListValue> parse(const std::string& text) {
  return PListReader::parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ErrorRecord error;
  std::optional<PListValue> root = PListReader::parse(data, size, &error);
  if (!root) {
    if (error.domain().empty()) __builtin_trap();
    return 0;
  }
  std::optional<IPhotoLibrary> library = IPhotoLibrary::fromAlbumData(*root, &error);
  if (!library) {
    if (!error.isErrorWithDomain(IPhotoLibrary::errorDomain(),
                                 IPhotoLibrary::kMalformedCatalogueError))
      __builtin_trap();
    return 0;
  }
  // Texts, not trees, are compared, so that a NaN real equals itself.
  std::string text = AlbumDataWriter::xmlText(library->albumData());
  if (text != AlbumDataWriter::xmlText(*root)) __builtin_trap();
  std::optional<PListValue> back = parse(text);
  if (!back || AlbumDataWriter::xmlText(*back) != text) __builtin_trap();

  const PListValue* images = root->objectForKey("Master Image List");
  if (!images || images->dictionaryValue()->empty()) return 0;
  std::string key = images->dictionaryValue()->begin()->first;
  if (!library->moveToTrash(key) || library->containsPhotoWithKey(key)) __builtin_trap();
  library->restoreTrash();
  if (!library->containsPhotoWithKey(key)) __builtin_trap();
  return 0;
}
