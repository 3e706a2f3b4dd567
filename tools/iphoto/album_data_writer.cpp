#include "album_data_writer.hpp"

#include <cmath>
#include <ctime>

#include "io/atomic_file.hpp"
#include "io/base64.hpp"
#include "platform/apple_xml_plist_writer.hpp"
#include "plist/xml_text.hpp"
#include "shared/text_format.hpp"

namespace twinlens::standin {

namespace {

constexpr std::size_t kBase64LineLength = 68;
// Beyond this many seconds from 1970 gmtime has no calendar year to give.
constexpr double kLargestCalendarSeconds = 1e15;

std::string dateText(const Date& date) {
  double since1970 = std::floor(date.timeIntervalSince1970());
  // The parser reads only four-digit years, so no catalogue holds a date beyond this.
  if (!(std::fabs(since1970) < kLargestCalendarSeconds)) since1970 = 0;
  std::time_t whole = static_cast<std::time_t>(since1970);
  std::tm utc{};
  ::gmtime_r(&whole, &utc);
  return formatText("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                    utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
}

class Writer {
 public:
  std::string take() { return std::move(out_); }

  void value(const PListValue& value, int depth) {
    switch (value.type()) {
      case PListValue::Type::Dictionary:
        return dictionary(*value.dictionaryValue(), depth);
      case PListValue::Type::Array:
        return array(*value.arrayValue(), depth);
      case PListValue::Type::Text:
        return element("string", *value.textValue(), depth);
      case PListValue::Type::Integer:
        return element("integer", std::to_string(*value.integerValue()), depth);
      case PListValue::Type::Real:
        return element("real", AppleXMLPListWriter::realText(*value.realValue()), depth);
      case PListValue::Type::Boolean:
        return line(*value.booleanValue() ? "<true/>" : "<false/>", depth);
      case PListValue::Type::Date:
        return element("date", dateText(*value.dateValue()), depth);
      case PListValue::Type::Data:
        return data(*value.dataValue(), depth);
      case PListValue::Type::Null:
        // A property list has no null; a catalogue read from one never holds it.
        return;
    }
  }

 private:
  void dictionary(const PListValue::Dictionary& entries, int depth) {
    if (entries.empty()) return line("<dict/>", depth);
    line("<dict>", depth);
    for (const auto& [key, child] : entries) {
      if (child.isNull()) continue;
      element("key", key, depth + 1);
      value(child, depth + 1);
    }
    line("</dict>", depth);
  }

  void array(const PListValue::Array& items, int depth) {
    if (items.empty()) return line("<array/>", depth);
    line("<array>", depth);
    for (const PListValue& item : items) value(item, depth + 1);
    line("</array>", depth);
  }

  void data(const Data& bytes, int depth) {
    line("<data>", depth);
    std::string text = base64Encode(bytes);
    for (std::size_t i = 0; i < text.size(); i += kBase64LineLength)
      line(std::string_view(text).substr(i, kBase64LineLength), depth);
    line("</data>", depth);
  }

  void element(std::string_view name, std::string_view text, int depth) {
    indent(depth);
    out_ += '<';
    out_ += name;
    out_ += '>';
    out_ += escapeXMLText(text);
    out_ += "</";
    out_ += name;
    out_ += ">\n";
  }

  void line(std::string_view text, int depth) {
    indent(depth);
    out_ += text;
    out_ += '\n';
  }

  void indent(int depth) { out_.append(static_cast<std::size_t>(depth), '\t'); }

  std::string out_;
};

}  // namespace

std::string AlbumDataWriter::xmlText(const PListValue& root) {
  Writer writer;
  writer.value(root, 0);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n" +
         writer.take() + "</plist>\n";
}

bool AlbumDataWriter::writeFile(const std::string& path, const PListValue& root,
                                ErrorRecord* error) {
  std::string text = xmlText(root);
  return writeDataAtomically(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                             0644, error);
}

}  // namespace twinlens::standin
