#include "cli/json_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace twinlens::cli {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  std::size_t length = lead < 0x80           ? 1
                       : (lead >> 5) == 0x6  ? 2
                       : (lead >> 4) == 0xE  ? 3
                       : (lead >> 3) == 0x1E ? 4
                                             : 0;
  if (length == 0 || i + length > text.size()) return 0;
  std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    char c = text[i];
    std::size_t length = utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
    i += length;
  }
  return out + "\"";
}

void JsonWriter::newline() {
  out_ += '\n';
  out_.append(hasItems_.size() * 2, ' ');
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (hasItems_.empty()) return;
  if (hasItems_.back()) out_ += ',';
  hasItems_.back() = true;
  newline();
}

void JsonWriter::raw(std::string_view text) {
  beforeValue();
  out_.append(text);
}

JsonWriter& JsonWriter::beginObject() {
  raw("{");
  hasItems_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  bool any = hasItems_.back();
  hasItems_.pop_back();
  if (any) newline();
  out_ += '}';
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  raw("[");
  hasItems_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  bool any = hasItems_.back();
  hasItems_.pop_back();
  if (any) newline();
  out_ += ']';
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  beforeValue();
  out_ += jsonQuoted(name) + ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
  raw(jsonQuoted(text));
  return *this;
}

JsonWriter& JsonWriter::value(const std::optional<std::string>& text) {
  return text ? value(std::string_view(*text)) : null();
}

JsonWriter& JsonWriter::value(std::int64_t number) {
  raw(std::to_string(number));
  return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number) {
  raw(std::to_string(number));
  return *this;
}

JsonWriter& JsonWriter::value(double number) {
  if (!std::isfinite(number)) return null();
  // to_chars gives the shortest text that reads back exactly, with a point in every locale.
  char text[32];
  auto [end, ec] = std::to_chars(text, text + sizeof text, number);
  raw(std::string_view(text, static_cast<std::size_t>(end - text)));
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  raw(flag ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::null() {
  raw("null");
  return *this;
}

}  // namespace twinlens::cli
