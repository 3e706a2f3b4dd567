#include "plist/xml_parse_guard.hpp"

#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <climits>
#include <string>

#include "plist/plist_node.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

const char* text(const xmlChar* value) {
  return value ? reinterpret_cast<const char*>(value) : "";
}

XMLParseGuard* guardOf(void* userData) {
  return XMLParseGuard::of(userData);
}

void refuseEntityDecl(void* userData, const xmlChar* name, int, const xmlChar*, const xmlChar*,
                      xmlChar*) {
  guardOf(userData)->refuse(static_cast<xmlParserCtxt*>(userData),
                            formatText("entity declarations are not accepted ('%s')", text(name)));
}

void refuseUnparsedEntityDecl(void* userData, const xmlChar* name, const xmlChar*, const xmlChar*,
                              const xmlChar*) {
  refuseEntityDecl(userData, name, 0, nullptr, nullptr, nullptr);
}

void refuseReference(void* userData, const xmlChar* name) {
  guardOf(userData)->refuse(static_cast<xmlParserCtxt*>(userData),
                            formatText("reference to undefined entity '%s'", text(name)));
}

// The external subset is never read, whatever the options say.
void ignoreExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

std::string trimmed(const char* message) {
  std::string text = message ? message : "XML parse error";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int XMLParseGuard::parseOptions() {
  return XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
}

void XMLParseGuard::initializeLibrary() {
  static const bool initialized = (xmlInitParser(), true);
  (void)initialized;
}

void XMLParseGuard::attach(xmlParserCtxt* ctxt, void* owner) {
  ctxt_ = ctxt;
  owner_ = owner;
  ctxt->_private = this;
  xmlCtxtUseOptions(ctxt, parseOptions());
  ctxt->replaceEntities = 0;
  ctxt->loadsubset = 0;
  ctxt->validate = 0;
  xmlSAXHandler* sax = ctxt->sax;
  sax->entityDecl = refuseEntityDecl;
  sax->unparsedEntityDecl = refuseUnparsedEntityDecl;
  sax->reference = refuseReference;
  sax->externalSubset = ignoreExternalSubset;
  sax->serror = onStructuredError;
  sax->warning = nullptr;
  sax->error = nullptr;
  sax->fatalError = nullptr;
}

XMLParseGuard* XMLParseGuard::of(void* userData) {
  return static_cast<XMLParseGuard*>(static_cast<xmlParserCtxt*>(userData)->_private);
}

void XMLParseGuard::refuse(xmlParserCtxt* ctxt, std::string message) {
  if (!error_) {
    error_ = ErrorRecord(kPListErrorDomain, kPListMalformedError, std::move(message));
    line_ = xmlSAX2GetLineNumber(ctxt);
    column_ = xmlSAX2GetColumnNumber(ctxt);
  }
  xmlStopParser(ctxt);
}

void XMLParseGuard::noteParserState(xmlParserCtxt* ctxt) {
  if (error_ || (ctxt->wellFormed && ctxt->errNo == XML_ERR_OK)) return;
  error_ = ErrorRecord(kXMLParserErrorDomain, ctxt->errNo,
                       ctxt->wellFormed ? "XML parser stopped before the end of the document"
                                        : "XML document is not well formed");
  line_ = xmlSAX2GetLineNumber(ctxt);
  column_ = xmlSAX2GetColumnNumber(ctxt);
}

void XMLParseGuard::onStructuredError(void* userData, xmlErrorPtr error) {
  XMLParseGuard* guard = guardOf(userData);
  if (error->level < XML_ERR_ERROR || guard->error_) return;
  guard->line_ = error->line;
  guard->column_ = error->int2;
  guard->error_ = ErrorRecord(kXMLParserErrorDomain, error->code,
                              formatText("%s (line %d, column %d)", trimmed(error->message).c_str(),
                                         error->line, error->int2));
}

namespace {
void ignoreMessage(void*, const char*, ...) {}
}  // namespace

QuietXMLErrors::QuietXMLErrors()
    : previous_(xmlGenericError), previousContext_(xmlGenericErrorContext) {
  xmlSetGenericErrorFunc(nullptr, ignoreMessage);
}

QuietXMLErrors::~QuietXMLErrors() {
  xmlSetGenericErrorFunc(previousContext_, previous_);
}

XMLDocPtr parseXMLDocument(const std::uint8_t* bytes, std::size_t length, ErrorRecord* failure) {
  XMLParseGuard::initializeLibrary();
  if (length > INT_MAX) {
    *failure = ErrorRecord(kPListErrorDomain, kPListMalformedError,
                           formatText("XML document of %zu bytes is too large", length));
    return nullptr;
  }
  std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt(
      xmlCreateMemoryParserCtxt(reinterpret_cast<const char*>(bytes), static_cast<int>(length)),
      xmlFreeParserCtxt);
  if (!ctxt) {
    *failure = ErrorRecord(kXMLParserErrorDomain, XML_ERR_NO_MEMORY, "cannot make an XML parser");
    return nullptr;
  }
  XMLParseGuard guard;
  guard.attach(ctxt.get());
  QuietXMLErrors quiet;
  xmlParseDocument(ctxt.get());
  XMLDocPtr doc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  guard.noteParserState(ctxt.get());
  if (guard.failed() || !doc) {
    *failure = guard.failed() ? guard.error()
                              : ErrorRecord(kXMLParserErrorDomain, ctxt->errNo, "no XML document");
    return nullptr;
  }
  return doc;
}

}  // namespace twinlens
