// iPhoto's answer to the album data query over arbitrary bytes: the wire decoder gives a
// descriptor or a clean corrupt-answer record; a descriptor converts to album values without a
// crash, and the album data built from it is a tree or a clean corrupt-answer record too.
#include <cstdint>
#include <optional>
#include <string_view>

#include "catalog/read_album_data_script.hpp"
#include "platform/script_host.hpp"
#include "platform/script_wire.hpp"
#include "shared/logging.hpp"

namespace {

using twinlens::AppleEventDescriptor;
using twinlens::ErrorRecord;
using twinlens::ScriptOutcome;

const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);

// Answers every script with the descriptor of the current input.
class ReplayHost final : public twinlens::ScriptHost {
 public:
  ScriptOutcome executeSource(std::string_view) override { return ScriptOutcome::success(*answer); }
  const AppleEventDescriptor* answer = nullptr;
};

std::size_t countNodes(const twinlens::PListValue& value) {
  std::size_t count = 1;
  if (const auto* dictionary = value.dictionaryValue())
    for (const auto& [key, child] : *dictionary) count += countNodes(child);
  if (const auto* array = value.arrayValue())
    for (const auto& child : *array) count += countNodes(child);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto host = [] {
    auto replay = std::make_shared<ReplayHost>();
    twinlens::ScriptHost::setStandard(replay);
    return replay;
  }();

  ErrorRecord wireError;
  std::optional<AppleEventDescriptor> descriptor =
      twinlens::decodeDescriptor(data, size, &wireError);
  if (!descriptor) {
    if (!wireError.isErrorWithDomain(twinlens::kScriptWireErrorDomain,
                                     twinlens::kScriptCorruptAnswerError))
      __builtin_trap();
    return 0;
  }
  using twinlens::ReadAlbumDataScript;
  if (std::optional<twinlens::PListValue> value =
          ReadAlbumDataScript::objectFromAppleEventDescriptor(*descriptor))
    countNodes(*value);

  host->answer = &*descriptor;
  ReadAlbumDataScript script;
  ErrorRecord error;
  if (script.execute(&error)) {
    countNodes(twinlens::PListValue::dictionary(script.albumDataPlist()));
  } else if (!error.isErrorWithDomain("AppleScriptErrorDomain",
                                      twinlens::kScriptCorruptAnswerError)) {
    __builtin_trap();
  }
  host->answer = nullptr;
  return 0;
}
