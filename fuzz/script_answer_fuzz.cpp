// Script answers over arbitrary bytes: a reply or descriptor, or a clean "ScriptWireErrorDomain"
// -1702 failure, never a crash, a hang or unbounded memory; whatever decodes encodes back to the
// same bytes.
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/script_wire.hpp"
#include "shared/logging.hpp"

namespace {

const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);

bool isCleanFailure(const twinlens::ErrorRecord& error) {
  return error.isErrorWithDomain(twinlens::kScriptWireErrorDomain,
                                 twinlens::kScriptCorruptAnswerError) &&
         !error.description().empty();
}

bool sameBytes(const twinlens::Data& encoded, const std::uint8_t* data, std::size_t size) {
  return encoded.size() == size && std::equal(encoded.begin(), encoded.end(), data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;

  ErrorRecord replyError;
  if (std::optional<ScriptOutcome> reply = decodeReply(data, size, &replyError)) {
    // A failure's message may be any bytes; only a success must come back byte for byte.
    if (reply->succeeded() && !sameBytes(encodeReply(*reply), data, size)) __builtin_trap();
  } else if (!isCleanFailure(replyError)) {
    __builtin_trap();
  }

  ErrorRecord descriptorError;
  if (std::optional<AppleEventDescriptor> descriptor =
          decodeDescriptor(data, size, &descriptorError)) {
    if (!sameBytes(encodeDescriptor(*descriptor), data, size)) __builtin_trap();
  } else if (!isCleanFailure(descriptorError)) {
    __builtin_trap();
  }
  return 0;
}
