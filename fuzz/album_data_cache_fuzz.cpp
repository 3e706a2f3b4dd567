// The album data cache decoders over arbitrary bytes: a tree or a clean
// "AlbumDataCacheErrorDomain" -1 failure, never a crash or unbounded memory, the same answer from
// both; a tree it accepts survives being written and read again.
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "catalog/album_data_cache.hpp"
#include "shared/logging.hpp"

namespace {
const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using twinlens::AlbumDataCache;
  twinlens::ErrorRecord error;
  AlbumDataCache::Identity identity;
  std::optional<twinlens::PListValue> tree = AlbumDataCache::decode(data, size, &identity, &error);
  // The scan's own reading accepts and refuses exactly the same files, and reads the same entries.
  twinlens::ErrorRecord scannedError;
  std::optional<twinlens::ScannedAlbumData> scanned = AlbumDataCache::decodeScanned(
      std::make_shared<const twinlens::AlbumDataBytes>(twinlens::Data(data, data + size)), nullptr,
      &scannedError);
  if (scanned.has_value() != tree.has_value()) __builtin_trap();
  if (!tree) {
    if (!error.isErrorWithDomain(AlbumDataCache::errorDomain(), AlbumDataCache::kDamagedError) ||
        scannedError.description() != error.description())
      __builtin_trap();
    return 0;
  }
  if (scanned->entries() != twinlens::ScannedAlbumData::fromTree(*tree).entries()) __builtin_trap();
  // Dictionaries are kept sorted with unique keys, so only a file written in that form comes
  // back byte for byte; any accepted file must at least decode again to an equal tree.
  twinlens::Data again = AlbumDataCache::encode(identity, *tree);
  std::optional<twinlens::PListValue> reread =
      AlbumDataCache::decode(again.data(), again.size(), nullptr);
  if (!reread || AlbumDataCache::encode(identity, *reread) != again) __builtin_trap();
  return 0;
}
