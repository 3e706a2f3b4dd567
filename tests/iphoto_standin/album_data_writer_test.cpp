#include "album_data_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/plist_reader.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::standin {
namespace {

using twinlens::testing::TempDir;

std::optional<PListValue> parseText(const std::string& text, ErrorRecord* error = nullptr) {
  return PListReader::parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error);
}

PListValue readBack(const PListValue& value) {
  std::string text = AlbumDataWriter::xmlText(value);
  ErrorRecord error;
  std::optional<PListValue> back = parseText(text, &error);
  EXPECT_TRUE(back) << error.description() << "\n" << text;
  return back ? *back : PListValue::text("unreadable");
}

// Every kind, nested and empty, with the edge values a catalogue may hold, in the layout the
// stand-in shares with iPhoto's own.
TEST(AlbumDataWriter, EveryValueReadsBackEqual) {
  Data bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  const std::string text = "  a\r\nb\rc\nd\te caf\u00e9 \U0001F600 &amp; ]]> <![CDATA[ ";
  PListValue root = PListValue::dictionary({
      {"b", PListValue::array({PListValue::integer(INT64_MIN), PListValue::boolean(true)})},
      {"a", PListValue::text("x & <y>")},
      {text, PListValue::array(
                 {PListValue::text(text), PListValue::text(""), PListValue::integer(INT64_MAX)})},
      {"c",
       PListValue::dictionary({{"d", PListValue::array({})}, {"e", PListValue::dictionary({})}})},
      {"f", PListValue::date(Date::withTimeIntervalSince1970(-86400.0 * 365 * 100))},
      {"g", PListValue::data(bytes)},
      {"h", PListValue::data(Data{})},
      {"r", PListValue::array({PListValue::real(1.0 / 3.0), PListValue::real(5e-324),
                               PListValue::real(1e300), PListValue::real(-HUGE_VAL)})},
  });
  EXPECT_EQ(readBack(root), root);
  EXPECT_TRUE(std::isnan(*readBack(PListValue::real(std::nan(""))).realValue()));
  EXPECT_TRUE(AlbumDataWriter::xmlText(root).starts_with(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
      "1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n"));
}

TEST(AlbumDataWriter, WriteFileReplacesTheFileWhole) {
  TempDir dir;
  std::string path = dir.write("AlbumData.xml", std::string("old"));
  PListValue root = PListValue::dictionary({{"k", PListValue::text("v")}});
  ASSERT_TRUE(AlbumDataWriter::writeFile(path, root));
  Data bytes = twinlens::testing::readFileBytes(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), AlbumDataWriter::xmlText(root));

  ErrorRecord error;
  EXPECT_FALSE(AlbumDataWriter::writeFile(dir.file("missing/AlbumData.xml"), root, &error));
  EXPECT_EQ(error.domain(), kUnixErrorDomain);
  EXPECT_NE(error.description().find("missing"), std::string::npos) << error.description();
}

}  // namespace
}  // namespace twinlens::standin
