#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "plist/dict_node.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Reads Apple's binary property lists ("bplist00"), as the platform writes its preferences, into
// a node tree whose root is a dictionary. Takes booleans, integers of 1, 2, 4 and 8 bytes, reals
// of 4 and 8 bytes, ASCII and UTF-16 strings, arrays and dictionaries with string keys; dates,
// data, sets and the rest have no node to go into and fail the read.
//
// Every offset, count and reference is checked against the bytes before it is followed, nesting
// stops at kMaxPListNestingDepth, and objects shared by several references may not add up to
// more nodes than the document has bytes. Failures are "PListErrorDomain" -1 naming the fault;
// there is never a partial tree.
class AppleBinaryPListReader {
 public:
  static constexpr std::string_view kMagic = "bplist00";

  static bool hasMagic(const Data& data);
  static std::shared_ptr<DictNode> read(const Data& data, ErrorRecord* error = nullptr);
};

}  // namespace twinlens
