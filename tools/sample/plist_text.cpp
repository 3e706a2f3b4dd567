#include "sample/plist_text.hpp"

#include <charconv>

#include "plist/xml_text.hpp"

namespace twinlens::sample {

namespace {
constexpr std::size_t kPieceSize = 1 << 20;
}  // namespace

PlistText::PlistText(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {
  buffer_.reserve(kPieceSize + 4096);
  buffer_ +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
}

void PlistText::open(std::string_view element) {
  tag("<", element);
  ++depth_;
}

void PlistText::close(std::string_view element) {
  --depth_;
  tag("</", element);
}

void PlistText::tag(std::string_view opening, std::string_view element) {
  buffer_.append(static_cast<std::size_t>(depth_), '\t');
  buffer_ += opening;
  buffer_ += element;
  buffer_ += ">\n";
  flushIfFull();
}

void PlistText::integer(std::int64_t value) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  element("integer", std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void PlistText::real(double value) {
  char digits[400];
  auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
  element("real", std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

void PlistText::finish() {
  buffer_ += "</plist>\n";
  sink_(buffer_);
  buffer_.clear();
}

void PlistText::element(std::string_view name, std::string_view text) {
  buffer_.append(static_cast<std::size_t>(depth_), '\t');
  buffer_ += '<';
  buffer_ += name;
  buffer_ += '>';
  buffer_ += escapeXMLText(text);
  buffer_ += "</";
  buffer_ += name;
  buffer_ += ">\n";
  flushIfFull();
}

void PlistText::line(std::string_view text) {
  buffer_.append(static_cast<std::size_t>(depth_), '\t');
  buffer_ += text;
  buffer_ += '\n';
  flushIfFull();
}

void PlistText::flushIfFull() {
  if (buffer_.size() < kPieceSize) return;
  sink_(buffer_);
  buffer_.clear();
}

}  // namespace twinlens::sample
