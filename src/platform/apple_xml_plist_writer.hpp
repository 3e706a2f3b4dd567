#pragma once

#include <optional>
#include <string>

#include "plist/dict_node.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Writes a tree as Apple's XML property lists look: the XML declaration, the "plist" DOCTYPE,
// <plist version="1.0">, one element a line indented by tabs, and every text escaped once, so
// that any property-list reader reads it. Reals are written in the shortest form that reads back
// exactly ("+infinity", "-infinity" and "nan" for the others), a carriage return as "&#13;";
// characters XML cannot carry become U+FFFD, and a string node without text is left out (with its
// key).
class AppleXMLPListWriter {
 public:
  // Fails with "PListErrorDomain" -1 for containers nested more than kMaxPListNestingDepth deep,
  // which no reader would take back.
  static std::optional<Data> dataWithDictionary(const DictNode& root, ErrorRecord* error = nullptr);
  // A real as these documents hold it: the shortest text that reads back to the same double.
  static std::string realText(double value);
};

}  // namespace twinlens
