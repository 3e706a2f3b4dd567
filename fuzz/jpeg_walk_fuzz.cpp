// The JPEG walk over arbitrary bytes: it must give a digest or a clean failure, never crash,
// hang or allocate without bound.
#include <cstdint>

#include "crypto/sha1_hash.hpp"
#include "io/data_input_stream.hpp"
#include "shared/logging.hpp"

namespace {
// Warn lines for odd end markers are expected here by the thousand; keep them off the terminal.
const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;
  auto bytes = std::make_shared<const Data>(data, data + size);
  BufferedInputStream stream(std::make_shared<DataInputStream>(bytes));
  ErrorRecord error;
  std::optional<std::string> digest = SHA1Hash::hashPhotoStream(stream, size, &error);
  if (digest && digest->size() != 40) __builtin_trap();
  if (!digest && stream.bytesReceived() > size) __builtin_trap();
  return 0;
}
