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

  // Every kind, nested and empty, the layout the stand-in shares with iPhoto's own.
  PListValue root = PListValue::dictionary({
      {"b", PListValue::array({PListValue::integer(-3), PListValue::boolean(true)})},
      {"a", PListValue::text("x & <y>")},
      {"c",
       PListValue::dictionary({{"d", PListValue::array({})}, {"e", PListValue::dictionary({})}})},
      {"f", PListValue::date(Date::withTimeIntervalSince1970(-86400.0 * 365 * 100))},
      {"g", PListValue::data(Data{0, 1, 2, 0xFF})},
  });
  EXPECT_EQ(readBack(root), root);
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
