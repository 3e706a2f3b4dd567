#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace twinlens::sample {

// Writes an XML property list the way Apple's software does: the XML declaration, Apple's
// DOCTYPE line, one element per line indented by tabs (the root's children by one), texts with
// &, < and > escaped and everything else, non-ASCII included, as UTF-8. The text goes to `sink`
// in pieces of about a megabyte; finish() hands over the rest.
class PlistText {
 public:
  explicit PlistText(std::function<void(std::string_view)> sink);

  // <dict> or <array>, and its end.
  void open(std::string_view element);
  void close(std::string_view element);
  void emptyArray() { line("<array/>"); }
  void key(std::string_view text) { element("key", text); }
  void string(std::string_view text) { element("string", text); }
  void integer(std::int64_t value);
  // Six decimals, as iPhoto writes its reals.
  void real(double value);
  void boolean(bool value) { line(value ? "<true/>" : "<false/>"); }
  // Ends the document and hands over what is left.
  void finish();

 private:
  void element(std::string_view name, std::string_view text);
  void line(std::string_view text);
  void tag(std::string_view opening, std::string_view element);
  void flushIfFull();

  std::function<void(std::string_view)> sink_;
  std::string buffer_;
  // The root element sits at the plist's own level, so its children start one tab in.
  int depth_ = 0;
};

}  // namespace twinlens::sample
