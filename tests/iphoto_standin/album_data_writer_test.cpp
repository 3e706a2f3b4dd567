#include "album_data_writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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

TEST(AlbumDataWriter, WritesApplesLayout) {
  PListValue root = PListValue::dictionary({
      {"b", PListValue::array({PListValue::integer(-3), PListValue::boolean(true)})},
      {"a", PListValue::text("x & <y>")},
      {"c", PListValue::dictionary({})},
      {"d", PListValue::array({})},
      {"e", PListValue::real(1.5)},
      {"f", PListValue::date(Date::withTimeIntervalSince1970(1245320791.75))},
      {"g", PListValue::data(Data{0, 1, 2, 0xFF})},
  });
  EXPECT_EQ(AlbumDataWriter::xmlText(root),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>a</key>\n"
            "\t<string>x &amp; &lt;y&gt;</string>\n"
            "\t<key>b</key>\n"
            "\t<array>\n"
            "\t\t<integer>-3</integer>\n"
            "\t\t<true/>\n"
            "\t</array>\n"
            "\t<key>c</key>\n"
            "\t<dict/>\n"
            "\t<key>d</key>\n"
            "\t<array/>\n"
            "\t<key>e</key>\n"
            "\t<real>1.5</real>\n"
            "\t<key>f</key>\n"
            "\t<date>2009-06-18T10:26:31Z</date>\n"
            "\t<key>g</key>\n"
            "\t<data>\n"
            "\tAAEC/w==\n"
            "\t</data>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST(AlbumDataWriter, EveryValueReadsBackEqual) {
  const double reals[] = {0.1,
                          1.0 / 3.0,
                          -0.0,
                          1e300,
                          5e-324,
                          123456789.123456789,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
  for (double real : reals) {
    SCOPED_TRACE(real);
    PListValue back = readBack(PListValue::real(real));
    ASSERT_TRUE(back.realValue());
    EXPECT_EQ(*back.realValue(), real);
    EXPECT_EQ(std::signbit(*back.realValue()), std::signbit(real));
  }
  EXPECT_TRUE(std::isnan(*readBack(PListValue::real(std::nan(""))).realValue()));

  const std::string texts[] = {"",
                               "a\r\nb\rc\nd\te",
                               "caf\u00e9 \u263a \U0001F600",
                               "&amp; stays &amp;",
                               "]]> <![CDATA[",
                               "  padded  "};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(readBack(PListValue::text(text)), PListValue::text(text));
    EXPECT_EQ(readBack(PListValue::dictionary({{text, PListValue::integer(1)}})),
              PListValue::dictionary({{text, PListValue::integer(1)}}));
  }

  for (std::int64_t integer : {std::numeric_limits<std::int64_t>::min(), std::int64_t{-1},
                               std::int64_t{0}, std::numeric_limits<std::int64_t>::max()})
    EXPECT_EQ(readBack(PListValue::integer(integer)).integerValue(), integer);

  Data bytes(1000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  for (std::size_t size : {0u, 1u, 50u, 51u, 1000u}) {
    Data piece(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
    EXPECT_EQ(readBack(PListValue::data(piece)), PListValue::data(piece)) << size;
  }

  Date whole = Date::withTimeIntervalSince1970(-86400.0 * 365 * 100);
  EXPECT_EQ(readBack(PListValue::date(whole)), PListValue::date(whole));
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
