#include "cli/json_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "shared/utf8.hpp"

namespace twinlens::cli {

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
