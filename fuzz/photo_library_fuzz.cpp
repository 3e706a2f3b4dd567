// The cache file reader over arbitrary bytes: it must load or fail with a record, never crash,
// hang or allocate beyond what the input holds; what it loads must write back to bytes that load
// to the same bytes again, and the plain list of records must hold what the library holds.
#include <cstdint>

#include "catalog/photo_library.hpp"
#include "io/data_input_stream.hpp"
#include "io/data_output_stream.hpp"
#include "shared/logging.hpp"

namespace {

using namespace twinlens;

const bool quiet = (setLogSink([](std::string_view) {}), true);

std::shared_ptr<PhotoLibrary> load(SharedData bytes, ErrorRecord* error) {
  auto library = std::make_shared<PhotoLibrary>(
      "/fuzz/iPhoto Library", std::vector<std::shared_ptr<Photo>>(), std::nullopt);
  BufferedInputStream stream(std::make_shared<DataInputStream>(bytes));
  if (!library->loadFromStream(stream, error)) return nullptr;
  if (stream.bytesReceived() > bytes->size()) __builtin_trap();
  return library;
}

SharedData bytesOf(const PhotoLibrary& library) {
  auto block = std::make_shared<Data>();
  BufferedOutputStream stream(std::make_shared<DataOutputStream>(block));
  if (!library.writeToStream(stream) || !stream.flush()) __builtin_trap();
  return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ErrorRecord error;
  auto input = std::make_shared<const Data>(data, data + size);
  std::shared_ptr<PhotoLibrary> library = load(input, &error);
  // The plain list of a scan holds the library's records, in its order.
  BufferedInputStream stream(std::make_shared<DataInputStream>(input));
  auto photos = PhotoLibrary::cachedPhotos(stream);
  if (photos.has_value() != bool(library) ||
      (library &&
       *bytesOf(PhotoLibrary("/fuzz", *photos, library->scanDate())) != *bytesOf(*library)))
    __builtin_trap();
  if (!library) {
    if (error.domain().empty() || error.description().empty()) __builtin_trap();
    return 0;
  }
  // Texts are cut at a zero byte when written, which may merge keys once; after one round trip
  // the form is fixed.
  std::shared_ptr<PhotoLibrary> once = load(bytesOf(*library), &error);
  if (!once) __builtin_trap();
  SharedData second = bytesOf(*once);
  std::shared_ptr<PhotoLibrary> twice = load(second, &error);
  if (!twice || *bytesOf(*twice) != *second) __builtin_trap();
  return 0;
}
