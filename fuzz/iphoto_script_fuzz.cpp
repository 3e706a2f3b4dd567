// The stand-in iPhoto's script parser and interpreter over arbitrary text: every script either
// runs or fails with a syntax error or an unknown photo, with a message that is valid UTF-8 and
// short; a failed script leaves the library as it was.
#include <cstdint>
#include <string>
#include <string_view>

#include "iphoto_interpreter.hpp"
#include "shared/logging.hpp"
#include "shared/utf8.hpp"

namespace {

using namespace twinlens;
using namespace twinlens::standin;

const bool quiet = (setLogSink([](std::string_view) {}), true);

PListValue photo(const std::string& name) {
  return PListValue::dictionary({{"ImagePath", PListValue::text("/lib/" + name + ".jpg")},
                                 {"Caption", PListValue::text(name)}});
}

PListValue catalogue() {
  PListValue::Array keys{PListValue::text("1"), PListValue::text("2"), PListValue::text("3")};
  return PListValue::dictionary(
      {{"Master Image List",
        PListValue::dictionary({{"1", photo("one")}, {"2", photo("two")}, {"3", photo("three")}})},
       {"List of Albums",
        PListValue::array({PListValue::dictionary(
            {{"KeyList", PListValue::array(keys)}, {"PhotoCount", PListValue::integer(3)}})})}});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view source(reinterpret_cast<const char*>(data), size);
  static const PListValue before = catalogue();
  IPhotoInterpreter interpreter(*IPhotoLibrary::fromAlbumData(before));
  ScriptOutcome outcome = interpreter.run(source);
  if (outcome.succeeded()) {
    if (!outcome.errorInfo.empty()) __builtin_trap();
    return 0;
  }
  const PListValue& number = outcome.errorInfo.at(kAppleScriptErrorNumberKey);
  const std::string& message = *outcome.errorInfo.at(kAppleScriptErrorMessageKey).textValue();
  if (number.integerValue() != kScriptSyntaxError &&
      number.integerValue() != kScriptCantGetObjectError)
    __builtin_trap();
  if (message.empty() || message.size() > 400 + size || !isValidUTF8(message)) __builtin_trap();
  if (number.integerValue() == kScriptSyntaxError && message.size() > 400) __builtin_trap();
  if (!(interpreter.library().albumData() == before)) __builtin_trap();
  return 0;
}
