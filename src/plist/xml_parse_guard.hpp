#pragma once

#include <libxml/parser.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "shared/error_record.hpp"

namespace twinlens {

// The domain of records made from libxml2's own parse errors; the code is libxml2's error number.
inline constexpr const char* kXMLParserErrorDomain = "XMLParserErrorDomain";

// Watches one libxml2 parse so that outside bytes can do no harm: nothing is loaded from the
// network or the file system (no external DTD, no external entity), entity declarations are
// refused outright so no expansion can grow without bound, and a reference to any entity other
// than the five predefined ones fails the parse. libxml2's own limits stay on: 256 levels of
// nesting and its caps on name and text lengths. Keeps the first error of any kind but a warning:
// libxml2 reports some (a text over its cap) only as errors and stops, leaving a cut document.
class XMLParseGuard {
 public:
  // The options every parse uses (no DTD loading, no entity substitution, no network, no
  // messages on standard error).
  static int parseOptions();
  // Runs libxml2's one-time set-up; every parse calls it before it makes a context.
  static void initializeLibrary();

  // Points ctxt->_private at this guard, applies parseOptions() and installs the refusing and
  // error-catching handlers into ctxt->sax. `owner` is left for the caller's own handlers.
  void attach(xmlParserCtxt* ctxt, void* owner = nullptr);
  // The guard of a context whose userData is the context itself (libxml2's default).
  static XMLParseGuard* of(void* userData);

  void* owner() const { return owner_; }
  // True once a fatal error or a refusal has happened.
  bool failed() const { return error_.has_value(); }
  const ErrorRecord& error() const { return *error_; }
  int errorLine() const { return line_; }
  int errorColumn() const { return column_; }

  // Stops the parse with a record of our own ("PListErrorDomain", -1, `message`).
  void refuse(xmlParserCtxt* ctxt, std::string message);
  // After the parse: records a failure when the document was not well formed or libxml2 stopped
  // with an error number, and gave no error of its own.
  void noteParserState(xmlParserCtxt* ctxt);

 private:
  static void onStructuredError(void* userData, xmlErrorPtr error);

  xmlParserCtxt* ctxt_ = nullptr;
  void* owner_ = nullptr;
  std::optional<ErrorRecord> error_;
  int line_ = 0;
  int column_ = 0;
};

// Keeps libxml2's messages that carry no parser context (such as character-encoding failures)
// off standard error on this thread while it lives; the parse reports the failure itself.
class QuietXMLErrors {
 public:
  QuietXMLErrors();
  ~QuietXMLErrors();
  QuietXMLErrors(const QuietXMLErrors&) = delete;
  QuietXMLErrors& operator=(const QuietXMLErrors&) = delete;

 private:
  xmlGenericErrorFunc previous_;
  void* previousContext_;
};

struct XMLDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XMLDocPtr = std::unique_ptr<xmlDoc, XMLDocFree>;

// Parses a document held in memory under the guard. Null on failure, with the record in *failure.
XMLDocPtr parseXMLDocument(const std::uint8_t* bytes, std::size_t length, ErrorRecord* failure);

}  // namespace twinlens
