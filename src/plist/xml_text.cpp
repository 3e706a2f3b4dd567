#include "plist/xml_text.hpp"

#include <cstdint>

#include "shared/utf8.hpp"

namespace twinlens {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kInvalid = 0xFFFFFFFF;

bool isXMLChar(char32_t c) {
  if (c < 0x20) return c == '\t' || c == '\n' || c == '\r';
  return c != 0xFFFE && c != 0xFFFF;
}

bool isScalarValue(char32_t c) {
  return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The character of the numeric reference after "&#" at text[i], with *end just past its ';'.
char32_t numericReference(std::string_view text, std::size_t i, std::size_t* end) {
  int base = 10;
  if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  }
  std::size_t start = i;
  char32_t value = 0;
  for (; i < text.size() && text[i] != ';'; ++i) {
    int digit =
        base == 16 ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0) return kInvalid;
    value = value * base + static_cast<char32_t>(digit);
    if (value > 0x10FFFF) return kInvalid;
  }
  if (i == start || i == text.size()) return kInvalid;
  *end = i + 1;
  return isScalarValue(value) ? value : kInvalid;
}

// The character of the reference at text[i] (an ampersand), with *end just past it; kInvalid when
// none of the accepted references starts there.
char32_t reference(std::string_view text, std::size_t i, std::size_t* end) {
  static constexpr struct {
    std::string_view name;
    char c;
  } kEntities[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  std::string_view rest = text.substr(i + 1);
  for (const auto& entity : kEntities) {
    if (rest.starts_with(entity.name)) {
      *end = i + 1 + entity.name.size();
      return static_cast<char32_t>(entity.c);
    }
  }
  if (rest.starts_with('#')) return numericReference(text, i + 2, end);
  return kInvalid;
}

// The reference to one of the five predefined entities that stands for `c`, or null; the quotes
// only when `quotes` is set.
const char* predefinedEntity(char32_t c, bool quotes) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return quotes ? "&quot;" : nullptr;
    case '\'':
      return quotes ? "&apos;" : nullptr;
    default:
      return nullptr;
  }
}

}  // namespace

void appendUTF8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string escapeEntities(std::string_view text, bool* replaced) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length;
    char32_t c = decodeUTF8(text, i, &length);
    if (const char* entity = predefinedEntity(c, true)) {
      out += entity;
    } else if (c == kNotUTF8) {
      appendUTF8(kReplacement, &out);
      if (replaced) *replaced = true;
    } else if (!isXMLChar(c)) {
      out += "&#" + std::to_string(static_cast<std::uint32_t>(c)) + ";";
    } else {
      out.append(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

std::string escapeXMLText(std::string_view text, XMLQuotes quotes) {
  std::string carried;
  if (replaceNonXMLCharacters(text, &carried)) text = carried;
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (const char* entity = predefinedEntity(c, quotes == XMLQuotes::escaped))
      out += entity;
    else if (c == '\r')
      out += "&#13;";
    else
      out += c;
  }
  return out;
}

std::string unescapeEntities(std::string text) {
  std::size_t first = text.find('&');
  if (first == std::string::npos) return text;
  std::string out(text, 0, first);
  for (std::size_t i = first; i < text.size();) {
    std::size_t end;
    char32_t c = text[i] == '&' ? reference(text, i, &end) : kInvalid;
    if (c == kInvalid) {
      out.push_back(text[i++]);
    } else {
      appendUTF8(c, &out);
      i = end;
    }
  }
  return out;
}

namespace {

// Copies `text` into *out with every character that `carried` refuses, and every byte that is
// not UTF-8, as U+FFFD; false, leaving *out alone, when there is none.
template <typename Carried>
bool replaceCharacters(std::string_view text, std::string* out, Carried carried) {
  std::size_t i = 0;
  std::size_t length = 0;
  for (; i < text.size(); i += length) {
    char32_t c = decodeUTF8(text, i, &length);
    if (c == kNotUTF8 || !carried(c)) break;
  }
  if (i == text.size()) return false;
  out->assign(text.substr(0, i));
  for (; i < text.size(); i += length) {
    char32_t c = decodeUTF8(text, i, &length);
    if (c == kNotUTF8 || !carried(c))
      appendUTF8(kReplacement, out);
    else
      out->append(text.substr(i, length));
  }
  return true;
}

}  // namespace

bool replaceNonXMLCharacters(std::string_view text, std::string* out) {
  return replaceCharacters(text, out, isXMLChar);
}

bool replaceNonUTF8Characters(std::string_view text, std::string* out) {
  return replaceCharacters(text, out, [](char32_t c) { return c != 0; });
}

}  // namespace twinlens
