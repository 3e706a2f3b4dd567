// The binary node reader over arbitrary bytes: a tree or a clean failure, never a crash, a hang
// or an allocation that the input's size does not justify. A tree it gives must be written again
// to the same bytes after one trip, and its XML form must read back.
#include <cstdint>

#include "plist/dict_node.hpp"
#include "shared/logging.hpp"

namespace {
const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;
  ErrorRecord error;
  std::shared_ptr<DictNode> tree =
      DictNode::dictNodeWithBinaryData(Data(data, data + size), &error);
  if (!tree) {
    if (error.domain().empty()) __builtin_trap();
    return 0;
  }
  Data binary = tree->binaryData();
  std::shared_ptr<DictNode> back = DictNode::dictNodeWithBinaryData(binary);
  if (!back || back->binaryData() != binary) __builtin_trap();
  if (!DictNode::dictNodeWithXMLData(tree->XMLData())) __builtin_trap();
  return 0;
}
