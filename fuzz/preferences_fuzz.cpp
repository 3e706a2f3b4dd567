// The preferences reader over arbitrary bytes, in Apple's binary or XML form: a dictionary or a
// clean failure, never a crash, a hang or memory the input's size does not justify. A dictionary
// it reads is written in Apple's XML form, which reads back to a tree that writes the same bytes.
#include <cstdint>

#include "platform/apple_xml_plist_writer.hpp"
#include "platform/user_defaults.hpp"
#include "shared/logging.hpp"

namespace {
const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;
  ErrorRecord error;
  std::shared_ptr<DictNode> tree =
      UserDefaults::dictionaryWithPropertyListData(Data(data, data + size), &error);
  if (!tree) {
    if (error.domain().empty() || error.description().empty()) __builtin_trap();
    return 0;
  }
  std::optional<Data> xml = AppleXMLPListWriter::dataWithDictionary(*tree);
  if (!xml) __builtin_trap();
  std::shared_ptr<DictNode> back = UserDefaults::dictionaryWithPropertyListData(*xml);
  if (!back) __builtin_trap();
  std::optional<Data> again = AppleXMLPListWriter::dataWithDictionary(*back);
  if (!again || *again != *xml) __builtin_trap();
  return 0;
}
