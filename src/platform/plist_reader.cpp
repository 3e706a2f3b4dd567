#include "platform/plist_reader.hpp"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <ctime>
#include <iterator>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "io/base64.hpp"
#include "io/file_helpers.hpp"
#include "plist/plist_node.hpp"
#include "plist/xml_parse_guard.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

enum class Element { Plist, Dict, Array, Key, String, Integer, Real, True, False, Date, Data };

// Element names are told apart by length first, as the SAX callback sees every one of them.
std::optional<Element> elementNamed(std::string_view name) {
  switch (name.size()) {
    case 3:
      if (name == "key") return Element::Key;
      break;
    case 4:
      if (name == "dict") return Element::Dict;
      if (name == "real") return Element::Real;
      if (name == "true") return Element::True;
      if (name == "date") return Element::Date;
      if (name == "data") return Element::Data;
      break;
    case 5:
      if (name == "plist") return Element::Plist;
      if (name == "array") return Element::Array;
      if (name == "false") return Element::False;
      break;
    case 6:
      if (name == "string") return Element::String;
      break;
    case 7:
      if (name == "integer") return Element::Integer;
      break;
  }
  return std::nullopt;
}

bool isScalar(Element e) {
  return e != Element::Plist && e != Element::Dict && e != Element::Array;
}

// An open <plist>, <dict> or <array>. Scalars are read into State::text without a frame. Frames
// are kept when closed, so that the entries and items buffers are reused by the next container
// at that depth and each finished container is allocated once, at its exact size.
struct Frame {
  Element element = Element::Plist;
  PListValue::Dictionary::Entries entries;  // in document order until the end tag
  PListValue::Array items;
  std::optional<std::string> pendingKey;
  std::optional<PListValue> plistValue;
};

std::string_view trimmed(std::string_view text) {
  const char* space = " \t\r\n";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  bool negative = !text.empty() && text.front() == '-';
  int base = 10;
  std::string_view digits = negative ? text.substr(1) : text;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    base = 16;
    digits.remove_prefix(2);
  }
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
    return std::nullopt;
  // Unsigned values above the signed range keep their bits, as the platform's numbers do.
  if (negative) {
    if (magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1) return std::nullopt;
    return static_cast<std::int64_t>(0 - magnitude);
  }
  return static_cast<std::int64_t>(magnitude);
}

std::optional<double> parseReal(std::string_view text) {
  text = trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "2009-06-18T10:26:31Z", the only form property lists write.
std::optional<Date> parseDate(std::string_view text) {
  text = trimmed(text);
  tm fields{};
  int year, month, day, hour, minute, second;
  char tail;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%c", &year, &month, &day, &hour, &minute,
                  &second, &tail) != 6 ||
      !copy.ends_with('Z'))
    return std::nullopt;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return std::nullopt;
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_sec = second;
  return Date::withTimeIntervalSince1970(static_cast<double>(timegm(&fields)));
}

}  // namespace

struct PListReader::State {
  xmlParserCtxtPtr ctxt = nullptr;
  std::vector<Frame> frames;
  std::size_t depth = 0;
  std::optional<Element> scalar;  // the open scalar element, whose text is being read
  std::optional<PListValue> root;
  std::string text;
  std::size_t bytesFed = 0;
  bool failed = false;
  std::string failure;

  // Ends the parse with `message`, naming the line the parser has reached.
  void fail(const std::string& message) {
    failWithText(message + " at line " + std::to_string(xmlSAX2GetLineNumber(ctxt)));
  }
  void failWithText(std::string message) {
    if (failed) return;
    failed = true;
    failure = std::move(message);
    xmlStopParser(ctxt);
  }
  std::optional<PListValue> invalid(const std::string& message) {
    fail(message);
    return std::nullopt;
  }

  Frame& top() { return frames[depth - 1]; }
  // The open dictionaries and arrays; the <plist> element is not one of them.
  std::size_t containerDepth() const {
    return depth - (depth > 0 && frames[0].element == Element::Plist ? 1 : 0);
  }

  bool acceptsValue() {
    if (depth == 0) return !root.has_value();
    const Frame& parent = top();
    switch (parent.element) {
      case Element::Plist:
        return !parent.plistValue.has_value();
      case Element::Array:
        return true;
      default:
        return parent.pendingKey.has_value();
    }
  }

  void start(std::string_view name) {
    std::optional<Element> element = elementNamed(name);
    if (!element) return fail("unknown element <" + std::string(name) + ">");
    // Nothing may open inside a scalar.
    if (scalar) return fail("unexpected <" + std::string(name) + ">");
    if (*element == Element::Plist) {
      if (depth > 0 || root) return fail("unexpected <plist>");
    } else if (*element == Element::Key) {
      if (depth == 0 || top().element != Element::Dict || top().pendingKey)
        return fail("unexpected <key>");
    } else if (!acceptsValue()) {
      return fail("unexpected <" + std::string(name) + ">");
    }
    if (isScalar(*element)) {
      scalar = element;
      text.clear();
      return;
    }
    if (containerDepth() >= kMaxPListNestingDepth)
      return fail("nesting deeper than " + std::to_string(kMaxPListNestingDepth) + " levels");
    if (depth == frames.size()) frames.emplace_back();
    Frame& frame = frames[depth++];
    frame.element = *element;
    frame.pendingKey.reset();
    frame.plistValue.reset();
  }

  void end() {
    if (failed) return;
    if (scalar) {
      Element element = *scalar;
      scalar.reset();
      if (element == Element::Key) {
        top().pendingKey = std::move(text);
        return;
      }
      std::optional<PListValue> value = buildScalar(element);
      if (value) add(std::move(*value));
      return;
    }
    if (depth == 0) return;
    Frame& frame = frames[--depth];
    if (frame.element == Element::Plist) {
      if (!frame.plistValue) return fail("empty <plist>");
      root = std::move(frame.plistValue);
      return;
    }
    std::optional<PListValue> value = buildContainer(frame);
    if (value) add(std::move(*value));
  }

  std::optional<PListValue> buildContainer(Frame& frame) {
    if (frame.element == Element::Array) {
      PListValue::Array items(std::make_move_iterator(frame.items.begin()),
                              std::make_move_iterator(frame.items.end()));
      frame.items.clear();
      return PListValue::array(std::move(items));
    }
    if (frame.pendingKey) return invalid("key without value: " + *frame.pendingKey);
    return PListValue::dictionary(PListValue::Dictionary::movingFrom(frame.entries));
  }

  std::optional<PListValue> buildScalar(Element element) {
    switch (element) {
      case Element::String:
        return PListValue::text(std::move(text));
      case Element::True:
        return PListValue::boolean(true);
      case Element::False:
        return PListValue::boolean(false);
      case Element::Integer:
        if (auto n = parseInteger(text)) return PListValue::integer(*n);
        return invalid("invalid integer \"" + text + "\"");
      case Element::Real:
        if (auto d = parseReal(text)) return PListValue::real(*d);
        return invalid("invalid real \"" + text + "\"");
      case Element::Date:
        if (auto d = parseDate(text)) return PListValue::date(*d);
        return invalid("invalid date \"" + text + "\"");
      case Element::Data:
        if (auto bytes = base64Decode(text)) return PListValue::data(std::move(*bytes));
        return invalid("invalid base64 data");
      default:
        return std::nullopt;
    }
  }

  void add(PListValue value) {
    if (depth == 0) {
      root = std::move(value);
      return;
    }
    Frame& parent = top();
    if (parent.element == Element::Plist) {
      parent.plistValue = std::move(value);
    } else if (parent.element == Element::Array) {
      parent.items.push_back(std::move(value));
    } else {
      parent.entries.emplace_back(std::move(*parent.pendingKey), std::move(value));
      parent.pendingKey.reset();
    }
  }

  void characters(const xmlChar* bytes, int length) {
    if (failed || !scalar) return;
    text.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  }
};

namespace {

PListReader::State* stateOf(void* userData) {
  return static_cast<PListReader::State*>(userData);
}

void onStart(void* userData, const xmlChar* localname, const xmlChar*, const xmlChar*, int,
             const xmlChar**, int, int, const xmlChar**) {
  stateOf(userData)->start(reinterpret_cast<const char*>(localname));
}
void onEnd(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
  stateOf(userData)->end();
}
void onCharacters(void* userData, const xmlChar* bytes, int length) {
  stateOf(userData)->characters(bytes, length);
}
// Entities beyond the predefined five are refused outright, so no document can make the parser
// expand text without bound or reach for anything outside it.
void onEntityDecl(void* userData, const xmlChar* name, int, const xmlChar*, const xmlChar*,
                  xmlChar*) {
  stateOf(userData)->fail("entity declarations are not allowed (" +
                          std::string(reinterpret_cast<const char*>(name)) + ")");
}
void onReference(void* userData, const xmlChar* name) {
  stateOf(userData)->fail("undefined entity &" + std::string(reinterpret_cast<const char*>(name)) +
                          ";");
}
// An error that is not a warning ends the parse: libxml2 reports some of those without making
// the document ill-formed, and would go on with part of it dropped.
void onStructuredError(void* userData, xmlErrorPtr error) {
  if (error->level < XML_ERR_ERROR) return;
  std::string message = error->message ? error->message : "XML parse error";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  // Some reports carry the context rather than our user data; the context leads to the state too.
  auto* ctxt = static_cast<xmlParserCtxtPtr>(error->ctxt);
  stateOf(ctxt && ctxt->_private ? ctxt->_private : userData)
      ->failWithText(message + " at line " + std::to_string(error->line));
}

xmlSAXHandler makeHandler() {
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = onStart;
  handler.endElementNs = onEnd;
  handler.characters = onCharacters;
  handler.cdataBlock = onCharacters;
  handler.entityDecl = onEntityDecl;
  handler.reference = onReference;
  handler.serror = onStructuredError;
  return handler;
}

std::string libxmlMessage(xmlParserCtxtPtr ctxt) {
  const xmlError* last = xmlCtxtGetLastError(ctxt);
  if (!last || !last->message)
    return "malformed property list at line " + std::to_string(xmlSAX2GetLineNumber(ctxt));
  std::string message = last->message;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message + " at line " + std::to_string(last->line);
}

}  // namespace

PListReader::PListReader() : state_(std::make_unique<State>()) {
  XMLParseGuard::initializeLibrary();
  static xmlSAXHandler handler = makeHandler();
  state_->ctxt = xmlCreatePushParserCtxt(&handler, state_.get(), nullptr, 0, nullptr);
  if (!state_->ctxt) throw std::bad_alloc();
  state_->ctxt->_private = state_.get();
  xmlCtxtUseOptions(state_->ctxt, XML_PARSE_NONET | XML_PARSE_NOCDATA);
}

PListReader::~PListReader() {
  if (!state_->ctxt) return;
  // libxml2 makes a document of its own to hold a DOCTYPE's declarations, even under SAX.
  if (state_->ctxt->myDoc) xmlFreeDoc(state_->ctxt->myDoc);
  xmlFreeParserCtxt(state_->ctxt);
}

bool PListReader::parseChunk(const std::uint8_t* bytes, std::size_t length, ErrorRecord* error) {
  state_->bytesFed += length;
  while (!state_->failed && length > 0) {
    int piece = static_cast<int>(std::min<std::size_t>(length, 1 << 20));
    QuietXMLErrors quiet;  // bad bytes are reported through the record, not on standard error
    int rc = xmlParseChunk(state_->ctxt, reinterpret_cast<const char*>(bytes), piece, 0);
    if (rc != 0) state_->failWithText(libxmlMessage(state_->ctxt));
    bytes += piece;
    length -= static_cast<std::size_t>(piece);
  }
  if (!state_->failed) return true;
  TL_SET_ERROR(error, this, errorDomain(), kPListMalformedError, "%s", state_->failure.c_str());
  return false;
}

std::optional<PListValue> PListReader::finish(ErrorRecord* error) {
  if (!state_->failed && state_->bytesFed == 0) {
    // The push parser would call an empty input "extra content", which misleads.
    state_->failWithText("the document is empty at line 1");
  } else if (!state_->failed) {
    QuietXMLErrors quiet;
    int rc = xmlParseChunk(state_->ctxt, nullptr, 0, 1);
    if (rc != 0 || !state_->ctxt->wellFormed || state_->ctxt->errNo != XML_ERR_OK)
      state_->failWithText(libxmlMessage(state_->ctxt));
    else if (!state_->root)
      state_->failWithText("no property list in the document");
  }
  if (state_->failed) {
    TL_SET_ERROR(error, this, errorDomain(), kPListMalformedError, "%s", state_->failure.c_str());
    return std::nullopt;
  }
  return std::move(state_->root);
}

std::optional<PListValue> PListReader::parse(const std::uint8_t* bytes, std::size_t length,
                                             ErrorRecord* error) {
  PListReader parser;
  if (!parser.parseChunk(bytes, length, error)) return std::nullopt;
  return parser.finish(error);
}

std::optional<PListValue> PListReader::parseFile(const std::string& path, ErrorRecord* error) {
  auto failUnix = [&](int err) -> std::optional<PListValue> {
    TL_SET_UNIX_ERROR(error, &typeid(PListReader), err, "%s: %s", path.c_str(), std::strerror(err));
    return std::nullopt;
  };
  ErrorRecord refused;
  int fd = openRegularFileForReading(path, 0, &refused);
  if (fd < 0) return failUnix(static_cast<int>(refused.code()));
  PListReader parser;
  std::vector<std::uint8_t> piece(256 * 1024);
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return failUnix(err);
    }
    if (n == 0) break;
    if (!parser.parseChunk(piece.data(), static_cast<std::size_t>(n), error)) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return parser.finish(error);
}

}  // namespace twinlens
