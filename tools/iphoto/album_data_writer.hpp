#pragma once

#include <string>

#include "platform/plist_value.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// Writes a catalogue tree as an XML property list in the form Apple's software writes it: the
// XML declaration and Apple's DOCTYPE line, one element per line indented by tabs, texts with
// &, < and > escaped once, dictionaries in key order, reals in the shortest form that reads back
// to the same double, dates as "YYYY-MM-DDTHH:MM:SSZ" (the whole second at or before the
// instant), data as base64. PListReader reads the text back into an equal tree.
class AlbumDataWriter {
 public:
  static std::string xmlText(const PListValue& root);

  // Replaces the file at `path` with the text, atomically (writeDataAtomically), mode 0644.
  // Fails with that function's "UnixErrorDomain" record.
  [[nodiscard]] static bool writeFile(const std::string& path, const PListValue& root,
                                      ErrorRecord* error = nullptr);
};

}  // namespace twinlens::standin
