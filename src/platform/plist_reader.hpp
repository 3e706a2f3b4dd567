#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist_value.hpp"
#include "plist/plist_node.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Reads iPhoto's catalogue, an XML property list as the platform writes it (every element:
// dict, array, key, string, integer, real, true, false, date, data; single escaping), straight
// into a PListValue tree as the bytes stream by, with no document tree in between. Never
// touches the network or loads a DTD; documents that declare entities are refused, and so are
// dictionaries and arrays nested more than kMaxPListNestingDepth deep.
//
// Failures are kPListErrorDomain kPListMalformedError with the parser's text and line number; the
// scan reports them as its own catalogue error.
class PListReader {
 public:
  PListReader();
  ~PListReader();
  PListReader(const PListReader&) = delete;
  PListReader& operator=(const PListReader&) = delete;

  // Feeds the next piece of the document; false once the document is known to be bad.
  [[nodiscard]] bool parseChunk(const std::uint8_t* bytes, std::size_t length,
                                ErrorRecord* error = nullptr);
  // Ends the document: the root value, or nullopt when the document is bad or incomplete.
  std::optional<PListValue> finish(ErrorRecord* error = nullptr);

  // A whole document in memory.
  static std::optional<PListValue> parse(const std::uint8_t* bytes, std::size_t length,
                                         ErrorRecord* error = nullptr);
  // A file, read in pieces. A failure to open or read it is "UnixErrorDomain" with errno and
  // "%@: %s" (the path, the system's text).
  static std::optional<PListValue> parseFile(const std::string& path, ErrorRecord* error = nullptr);

  static const char* errorDomain() { return kPListErrorDomain; }

  // The parse in progress; opaque, named here only for the parser's own callbacks.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace twinlens
