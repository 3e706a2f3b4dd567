#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/error_record.hpp"

struct _xmlParserCtxt;

namespace twinlens {

class XMLPlistParser;

// Receives the values of an XML property list as the parser meets them. `key` is the key under
// which the value (or, in an array, the nearest keyed container around it) sits, or none. Texts
// and keys are valid only during the call.
class XMLPlistParserDelegate {
 public:
  using Text = std::optional<std::string_view>;

  virtual ~XMLPlistParserDelegate() = default;

  virtual void didStartDict(XMLPlistParser& parser, Text key) = 0;
  virtual void didStartDictInArray(XMLPlistParser& parser, Text key) = 0;
  virtual void didEndDict(XMLPlistParser& parser, Text key) = 0;
  virtual void didEndDictInArray(XMLPlistParser& parser, Text key) = 0;
  virtual void didStartArray(XMLPlistParser& parser, Text key) = 0;
  virtual void didStartArrayInArray(XMLPlistParser& parser, Text key) = 0;
  virtual void didEndArray(XMLPlistParser& parser, Text key) = 0;
  virtual void didEndArrayInArray(XMLPlistParser& parser, Text key) = 0;
  virtual void foundString(XMLPlistParser& parser, Text text, Text key) = 0;
  virtual void foundStringInArray(XMLPlistParser& parser, Text text, Text key) = 0;
  virtual void foundInteger(XMLPlistParser& parser, std::int32_t value, Text key) = 0;
  virtual void foundIntegerInArray(XMLPlistParser& parser, std::int32_t value, Text key) = 0;
  virtual void foundReal(XMLPlistParser& parser, double value, Text key) = 0;
  virtual void foundRealInArray(XMLPlistParser& parser, double value, Text key) = 0;
  virtual void foundBoolean(XMLPlistParser& parser, bool value, Text key) = 0;
  virtual void foundBooleanInArray(XMLPlistParser& parser, bool value, Text key) = 0;
  // The parse stopped: `error` is the parser's record ("XMLParserErrorDomain"), the file's, or a
  // "PListErrorDomain" -1 refusal; line and column are where the parser stood.
  virtual void parseErrorOccurred(XMLPlistParser& parser, const ErrorRecord& error,
                                  std::int64_t lineNumber, std::int64_t columnNumber) = 0;
  virtual void parserDidEndPlist(XMLPlistParser& parser) = 0;
};

// Reads an XML property-list file as a stream and hands each value to the delegate as soon as it
// is complete, without building a tree; memory stays bounded whatever the file's size. Bad values
// do not stop it: an unreadable "integer" arrives as 0, an unreadable "real" as 0 (with an Error
// line), unknown elements are skipped. The root dictionary, and dictionaries directly inside a
// top-level array, produce no start or end events. Events arrive on the thread that runs parse().
class XMLPlistParser {
 public:
  explicit XMLPlistParser(std::string path) : path_(std::move(path)) {}

  void setDelegate(std::shared_ptr<XMLPlistParserDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  const std::string& path() const { return path_; }

  // Runs over the whole file: ends with parserDidEndPlist, or with parseErrorOccurred when the
  // file cannot be read, is not well formed, or holds something the parser refuses.
  void parse();

  // The longest text the parser gathers for one value; a longer one stops the parse.
  static constexpr std::size_t kMaxTextLength = 10000000;
  // The deepest nesting of elements it follows, as libxml2's document parser allows; deeper
  // stops the parse.
  static constexpr std::size_t kMaxElementDepth = 256;

 private:
  // A key waiting for its value, with the container depth at which it was read.
  struct PendingKey {
    std::string text;
    std::size_t depth;
  };
  enum class Container { dict, array };

  friend struct XMLPlistParserEvents;
  void startElement(std::string_view name);
  void endElement(std::string_view name);
  void characters(std::string_view text);
  void startContainer(Container container);
  void endContainer(Container container);
  void endValue(std::string_view name);
  XMLPlistParserDelegate::Text topKey() const;
  // The top key when it belongs to the innermost dictionary, and none otherwise.
  XMLPlistParserDelegate::Text keyOfInnermostDict() const;
  void popKeyOfInnermostDict();
  std::optional<Container> innermost() const;
  void reportError(const ErrorRecord& error, std::int64_t line, std::int64_t column);

  std::string path_;
  std::shared_ptr<XMLPlistParserDelegate> delegate_;
  _xmlParserCtxt* parser_ = nullptr;
  std::vector<Container> containerNames_;
  std::vector<PendingKey> keyNames_;
  std::optional<std::string> currentStringValue_;
  std::size_t elementDepth_ = 0;
};

}  // namespace twinlens
