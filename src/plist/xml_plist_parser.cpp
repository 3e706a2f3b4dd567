#include "plist/xml_plist_parser.hpp"

#include <fcntl.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "plist/number_scan.hpp"
#include "plist/xml_parse_guard.hpp"
#include "plist/xml_text.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {
constexpr std::size_t kChunkSize = 64 * 1024;

std::string_view view(const xmlChar* text, int length) {
  return std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

std::string qualifiedName(const xmlChar* localname, const xmlChar* prefix) {
  std::string name = prefix ? reinterpret_cast<const char*>(prefix) + std::string(":") : "";
  return name + reinterpret_cast<const char*>(localname);
}

// libxml2 may make a document of its own to hold declarations even without a tree handler.
struct PushContextFree {
  void operator()(xmlParserCtxt* ctxt) const {
    xmlFreeDoc(ctxt->myDoc);
    xmlFreeParserCtxt(ctxt);
  }
};

struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};
}  // namespace

// The libxml2 callbacks, which hand each event to the parser that owns the context.
struct XMLPlistParserEvents {
  static XMLPlistParser& parserOf(void* userData) {
    return *static_cast<XMLPlistParser*>(XMLParseGuard::of(userData)->owner());
  }
  static void startElement(void* userData, const xmlChar* localname, const xmlChar* prefix,
                           const xmlChar*, int, const xmlChar**, int, int, const xmlChar**) {
    parserOf(userData).startElement(qualifiedName(localname, prefix));
  }
  static void endElement(void* userData, const xmlChar* localname, const xmlChar* prefix,
                         const xmlChar*) {
    parserOf(userData).endElement(qualifiedName(localname, prefix));
  }
  static void characters(void* userData, const xmlChar* text, int length) {
    parserOf(userData).characters(view(text, length));
  }
  static xmlSAXHandler handler() {
    xmlSAXHandler sax{};
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = startElement;
    sax.endElementNs = endElement;
    sax.characters = characters;
    sax.cdataBlock = characters;
    return sax;
  }
};

void XMLPlistParser::parse() {
  if (!delegate_) return;
  // A run that stopped early must not leave its open containers and keys to the next one.
  containerNames_.clear();
  keyNames_.clear();
  currentStringValue_.reset();
  elementDepth_ = 0;
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    reportError(
        ErrorRecord(kUnixErrorDomain, err, formatText("%s: %s", path_.c_str(), std::strerror(err))),
        0, 0);
    return;
  }
  FileCloser closer{fd};
  XMLParseGuard::initializeLibrary();
  xmlSAXHandler sax = XMLPlistParserEvents::handler();
  std::unique_ptr<xmlParserCtxt, PushContextFree> ctxt(
      xmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr));
  if (!ctxt) {
    reportError(ErrorRecord(kXMLParserErrorDomain, XML_ERR_NO_MEMORY, "cannot make an XML parser"),
                0, 0);
    return;
  }
  XMLParseGuard guard;
  guard.attach(ctxt.get(), this);
  parser_ = ctxt.get();
  QuietXMLErrors quiet;
  std::vector<char> chunk(kChunkSize);
  for (;;) {
    ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      parser_ = nullptr;
      reportError(ErrorRecord(kUnixErrorDomain, err,
                              formatText("read(%s): %s", path_.c_str(), std::strerror(err))),
                  xmlSAX2GetLineNumber(ctxt.get()), xmlSAX2GetColumnNumber(ctxt.get()));
      return;
    }
    xmlParseChunk(ctxt.get(), chunk.data(), static_cast<int>(n), n == 0);
    if (n == 0 || guard.failed()) break;
  }
  parser_ = nullptr;
  guard.noteParserState(ctxt.get());
  if (guard.failed())
    reportError(guard.error(), guard.errorLine(), guard.errorColumn());
  else
    delegate_->parserDidEndPlist(*this);
}

void XMLPlistParser::reportError(const ErrorRecord& error, std::int64_t line, std::int64_t column) {
  ErrorRecord record;
  detail::setErrorAt(&record, this, __FILE__, __LINE__, error);
  delegate_->parseErrorOccurred(*this, record, line, column);
}

void XMLPlistParser::startElement(std::string_view name) {
  // libxml2's push parser has no depth limit of its own.
  if (++elementDepth_ > kMaxElementDepth) {
    XMLParseGuard::of(parser_)->refuse(
        parser_, formatText("nesting deeper than %zu elements", kMaxElementDepth));
    return;
  }
  if (name == "dict")
    startContainer(Container::dict);
  else if (name == "array")
    startContainer(Container::array);
  else
    currentStringValue_.reset();
}

void XMLPlistParser::endElement(std::string_view name) {
  --elementDepth_;
  if (name == "key") {
    std::string text = currentStringValue_ ? std::move(*currentStringValue_) : std::string();
    // A second key before any value replaces the first, so keys cannot pile up.
    if (!keyNames_.empty() && keyNames_.back().depth == containerNames_.size())
      keyNames_.back().text = std::move(text);
    else
      keyNames_.push_back(PendingKey{std::move(text), containerNames_.size()});
    currentStringValue_.reset();
  } else if (name == "string" || name == "integer" || name == "real" || name == "true" ||
             name == "false") {
    endValue(name);
    currentStringValue_.reset();
  } else if (name == "dict") {
    endContainer(Container::dict);
  } else if (name == "array") {
    endContainer(Container::array);
  }
}

void XMLPlistParser::characters(std::string_view text) {
  if (!currentStringValue_) currentStringValue_.emplace();
  if (currentStringValue_->size() + text.size() > kMaxTextLength) {
    XMLParseGuard::of(parser_)->refuse(parser_,
                                       formatText("text longer than %zu bytes", kMaxTextLength));
    return;
  }
  currentStringValue_->append(text);
}

void XMLPlistParser::startContainer(Container container) {
  std::optional<Container> outer = innermost();
  if (container == Container::dict && outer == Container::array && !keyNames_.empty())
    delegate_->didStartDictInArray(*this, topKey());
  else if (container == Container::dict && outer == Container::dict && keyOfInnermostDict())
    delegate_->didStartDict(*this, keyOfInnermostDict());
  else if (container == Container::array && outer == Container::array)
    delegate_->didStartArrayInArray(*this, topKey());
  else if (container == Container::array && outer == Container::dict)
    delegate_->didStartArray(*this, keyOfInnermostDict());
  containerNames_.push_back(container);
}

void XMLPlistParser::endContainer(Container container) {
  if (innermost() != container) {
    XMLParseGuard::of(parser_)->refuse(parser_, "must be last object in containerNames");
    return;
  }
  containerNames_.pop_back();
  // Keys left waiting inside the closed container go with it.
  while (!keyNames_.empty() && keyNames_.back().depth > containerNames_.size())
    keyNames_.pop_back();
  std::optional<Container> outer = innermost();
  if (container == Container::dict && outer == Container::array && !keyNames_.empty()) {
    delegate_->didEndDictInArray(*this, topKey());
  } else if (container == Container::dict && outer == Container::dict && keyOfInnermostDict()) {
    delegate_->didEndDict(*this, keyOfInnermostDict());
    popKeyOfInnermostDict();
  } else if (container == Container::array && outer == Container::array) {
    delegate_->didEndArrayInArray(*this, topKey());
  } else if (container == Container::array && outer == Container::dict) {
    delegate_->didEndArray(*this, keyOfInnermostDict());
    popKeyOfInnermostDict();
  }
}

void XMLPlistParser::endValue(std::string_view name) {
  std::optional<Container> outer = innermost();
  if (!outer) return;
  bool inArray = outer == Container::array;
  XMLPlistParserDelegate::Text key = inArray ? topKey() : keyOfInnermostDict();
  std::string_view text = currentStringValue_ ? std::string_view(*currentStringValue_) : "";
  if (name == "string") {
    std::optional<std::string> value;
    if (currentStringValue_) value = unescapeEntities(*currentStringValue_);
    XMLPlistParserDelegate::Text shown =
        value ? XMLPlistParserDelegate::Text(*value) : std::nullopt;
    inArray ? delegate_->foundStringInArray(*this, shown, key)
            : delegate_->foundString(*this, shown, key);
  } else if (name == "integer") {
    std::int32_t value = scanInt(text).value_or(0);
    inArray ? delegate_->foundIntegerInArray(*this, value, key)
            : delegate_->foundInteger(*this, value, key);
  } else if (name == "real") {
    std::optional<double> value = scanDouble(text);
    if (!value)
      logError("error scanning double from '%s'",
               textOrNull(currentStringValue_ ? &*currentStringValue_ : nullptr));
    inArray ? delegate_->foundRealInArray(*this, value.value_or(0), key)
            : delegate_->foundReal(*this, value.value_or(0), key);
  } else {
    bool value = name == "true";
    inArray ? delegate_->foundBooleanInArray(*this, value, key)
            : delegate_->foundBoolean(*this, value, key);
  }
  if (!inArray) popKeyOfInnermostDict();
}

std::optional<XMLPlistParser::Container> XMLPlistParser::innermost() const {
  if (containerNames_.empty()) return std::nullopt;
  return containerNames_.back();
}

XMLPlistParserDelegate::Text XMLPlistParser::topKey() const {
  if (keyNames_.empty()) return std::nullopt;
  return keyNames_.back().text;
}

XMLPlistParserDelegate::Text XMLPlistParser::keyOfInnermostDict() const {
  if (keyNames_.empty() || keyNames_.back().depth != containerNames_.size()) return std::nullopt;
  return keyNames_.back().text;
}

void XMLPlistParser::popKeyOfInnermostDict() {
  if (keyOfInnermostDict()) keyNames_.pop_back();
}

}  // namespace twinlens
