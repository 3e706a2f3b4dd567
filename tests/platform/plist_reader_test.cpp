#include "platform/plist_reader.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::TempDir;

constexpr const char* kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n";

std::optional<PListValue> parseText(const std::string& text, ErrorRecord* error = nullptr) {
  return PListReader::parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error);
}

std::string plist(const std::string& body) {
  return std::string(kHeader) + "<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

std::string nested(const std::string& tag, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += tag;
  return text;
}

TEST(PListReader, ReadsEveryElementAsApplesWriterLeavesIt) {
  std::optional<PListValue> root = parseText(plist(R"(<dict>
  <key>Application Version</key><string>8.1.2 &amp; more &lt;x&gt; &#x263A;</string>
  <key>Master Image List</key><dict><key>42</key><dict>
      <key>Roll</key><integer>1</integer><key>Caption</key><string>Beach</string>
      <key>Aspect Ratio</key><real>1.5</real><key>Roll</key><integer>7</integer>
      <key>Big</key><integer>18446744073709551615</integer>
      <key>Negative</key><integer>-12</integer><key>Flag</key><true/><key>Other</key><false/>
      <key>When</key><date>2009-06-18T10:26:31Z</date>
      <key>Blob</key><data>
        AAEC
        /w==
      </data>
      <key>Empty</key><string/>
  </dict></dict>
  <key>List of Rolls</key><array><dict><key>RollID</key><integer>7</integer></dict></array>
  <!-- a comment --><?pi ignored?>
</dict>)"));
  ASSERT_TRUE(root);
  EXPECT_EQ(*root->objectForKey("Application Version")->textValue(), "8.1.2 & more <x> \u263A");
  const PListValue* photo = root->objectForKey("Master Image List")->objectForKey("42");
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(*photo->objectForKey("Caption")->textValue(), "Beach");
  EXPECT_EQ(photo->objectForKey("Aspect Ratio")->realValue(), 1.5);
  EXPECT_EQ(photo->objectForKey("Roll")->integerValue(), 7) << "the last of a repeated key wins";
  EXPECT_EQ(photo->objectForKey("Big")->integerValue(), -1) << "unsigned 64-bit keeps its bits";
  EXPECT_EQ(photo->objectForKey("Negative")->integerValue(), -12);
  EXPECT_EQ(photo->objectForKey("Flag")->booleanValue(), true);
  EXPECT_EQ(photo->objectForKey("Other")->booleanValue(), false);
  EXPECT_EQ(photo->objectForKey("When")->dateValue()->timeIntervalSince1970(), 1245320791.0);
  EXPECT_EQ(*photo->objectForKey("Blob")->dataValue(), (Data{0, 1, 2, 0xFF}));
  EXPECT_EQ(*photo->objectForKey("Empty")->textValue(), "");
  EXPECT_EQ(root->objectForKey("List of Rolls")->arrayValue()->size(), 1u);
}

TEST(PListReader, ChunkBoundariesDoNotMatter) {
  std::string text = plist("<dict><key>k</key><string>a long value split anywhere</string></dict>");
  for (std::size_t step : {1u, 2u, 7u, 64u}) {
    SCOPED_TRACE(step);
    PListReader parser;
    for (std::size_t i = 0; i < text.size(); i += step)
      ASSERT_TRUE(parser.parseChunk(reinterpret_cast<const std::uint8_t*>(text.data()) + i,
                                    std::min(step, text.size() - i)));
    std::optional<PListValue> root = parser.finish();
    ASSERT_TRUE(root);
    EXPECT_EQ(*root->objectForKey("k")->textValue(), "a long value split anywhere");
  }
}

TEST(PListReader, BadDocumentsFailWithMinusOneAndALine) {
  struct Case {
    const char* name;
    std::string text;
    std::string messagePart;
  } cases[] = {
      {"empty", "", "the document is empty"},
      {"not xml", "hello, world", "line 1"},
      {"cut short", plist("<dict><key>a</key><string>b</string></dict>").substr(0, 150), "line"},
      {"mismatched tags", plist("<dict><key>a</key><string>b</array></dict>"), "mismatch"},
      {"unknown element", plist("<dict><key>a</key><foo/></dict>"), "unknown element <foo>"},
      {"key without value", plist("<dict><key>a</key></dict>"), "key without value: a"},
      {"value without key", plist("<dict><string>a</string></dict>"), "unexpected <string>"},
      {"bad integer", plist("<integer>12x</integer>"), "invalid integer"},
      {"bad real", plist("<real>one</real>"), "invalid real"},
      {"bad date", plist("<date>yesterday</date>"), "invalid date"},
      {"bad data", plist("<data>!!!!</data>"), "invalid base64"},
      {"two roots", plist("<string>a</string><string>b</string>"), "unexpected <string>"},
      {"no value", std::string(kHeader) + "<plist version=\"1.0\"></plist>", "empty <plist>"},
      {"undefined entity", plist("<string>&nope;</string>"), "nope"},
      {"invalid utf-8", plist("<string>\xC3\x28</string>"), "line"},
      {"too deep", plist(nested("<array>", 200000) + nested("</array>", 200000)),
       "nesting deeper than 200 levels"},
      {"unclosed and deep", plist(nested("<dict><key>k</key>", 100000)), "nesting deeper"},
      {"external entity",
       "<!DOCTYPE plist [<!ENTITY x SYSTEM "
       "\"file:///etc/passwd\">]><plist><string>&x;</string></plist>",
       "entity declarations are not allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ErrorRecord error;
    EXPECT_FALSE(parseText(c.text, &error).has_value());
    EXPECT_TRUE(error.isErrorWithDomain(kPListErrorDomain, kPListMalformedError)) << error.domain();
    EXPECT_NE(error.description().find(c.messagePart), std::string::npos) << error.description();
    EXPECT_NE(error.description().find("line"), std::string::npos) << error.description();
  }
}

TEST(PListReader, FilesThatCannotBeReadGiveTheSystemsError) {
  TempDir dir;
  ErrorRecord error;
  EXPECT_FALSE(PListReader::parseFile(dir.file("AlbumData.xml"), &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_EQ(error.description(), dir.file("AlbumData.xml") + ": No such file or directory");

  EXPECT_FALSE(PListReader::parseFile(dir.path(), &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EISDIR));

  std::string fifo = dir.file("fifo.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(PListReader::parseFile(fifo, &error)) << "must not wait for a writer";
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EINVAL));
}

}  // namespace
}  // namespace twinlens
