#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlens::cli {

// Writes one JSON document, two-space indented, putting in the commas itself. Texts that are
// not valid UTF-8 (file names may be any bytes) get U+FFFD for each bad byte, so the output is
// always valid JSON.
class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(const std::string& text) { return value(std::string_view(text)); }
  JsonWriter& value(const std::optional<std::string>& text);
  JsonWriter& value(std::int64_t number);
  JsonWriter& value(std::uint64_t number);
  JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
  JsonWriter& value(double number);
  JsonWriter& value(bool flag);
  JsonWriter& null();

  // The document, ending with a line feed.
  std::string str() const { return out_ + "\n"; }

 private:
  void beforeValue();
  void raw(std::string_view text);
  void newline();

  std::string out_;
  std::vector<bool> hasItems_;  // one per open object or array
  bool afterKey_ = false;
};

// The text of a JSON string literal for `text`, quotes included.
std::string jsonQuoted(std::string_view text);

}  // namespace twinlens::cli
