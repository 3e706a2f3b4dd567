// The XML property-list reader over arbitrary bytes: a tree or a clean failure, never a crash, a
// hang or unbounded memory. A tree it gives must survive the trip through both writers: its XML
// must read back and settle after one trip, and its binary form must read back exactly.
#include <cstdint>

#include "plist/dict_node.hpp"
#include "shared/logging.hpp"

namespace {
// The writer's Info and Warn lines would flood the terminal.
const bool quiet = (twinlens::setLogSink([](std::string_view) {}), true);
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace twinlens;
  ErrorRecord error;
  std::shared_ptr<DictNode> tree = DictNode::dictNodeWithXMLData(Data(data, data + size), &error);
  if (!tree) {
    if (error.domain().empty()) __builtin_trap();
    return 0;
  }
  Data written = tree->XMLData();
  std::shared_ptr<DictNode> back = DictNode::dictNodeWithXMLData(written);
  if (!back || back->XMLData() != written) __builtin_trap();
  Data binary = tree->binaryData();
  std::shared_ptr<DictNode> fromBinary = DictNode::dictNodeWithBinaryData(binary);
  if (!fromBinary || fromBinary->binaryData() != binary) __builtin_trap();
  return 0;
}
