// Holds the cache file's reader and writer to bytes written by hand from doc/cache-format.md, so
// the two cannot drift from the documented layout together without a test noticing.
#include <gtest/gtest.h>

#include "catalog/photo_library.hpp"
#include "library_fixture.hpp"

namespace twinlens {
namespace {

using testing::DocBytes;
using testing::LibraryTest;

void addKeyOnlyRecord(DocBytes& doc, const std::string& key) {
  doc.text(std::nullopt).text(std::nullopt).text(key);
  doc.text(std::nullopt).text(std::nullopt).text(std::nullopt).text("0.000000");
  doc.text(std::nullopt).text(std::nullopt).text(std::nullopt);
  for (int i = 0; i < 6; ++i) doc.u(0);
  doc.text("0.000000").u(0);
}

TEST_F(LibraryTest, CacheFileIsTheDocumentedBytesBothWays) {
  DocBytes doc;
  doc.u(2, 4).u(2);
  // Record "100", every field present; "100" sorts before "9".
  doc.text(std::string(40, 'a')).text(std::string(40, 'b')).text("100");
  doc.text("/m.jpg").text("/o.jpg").text("/t.jpg").text("1.500000");
  doc.text("Caf\xC3\xA9").text("").text("JPEG");
  doc.u(10).u(static_cast<std::uint64_t>(-20)).u(30).u(40).u(50).u(999999999);
  doc.text("283996800.500000").u(0xFFFFFFFFFFFFFFFDull);
  addKeyOnlyRecord(doc, "9");
  doc.u(0, 1).u(0x102030405);

  ErrorRecord error;
  std::shared_ptr<PhotoLibrary> library = load(doc.data, &error);
  ASSERT_TRUE(library) << error.description();
  ASSERT_EQ(library->photoKeys(), (std::vector<std::string>{"100", "9"}));
  ASSERT_TRUE(library->scanDate());
  EXPECT_EQ(library->scanDate()->timeIntervalSinceReferenceDate(), 4328719365.0);
  const Photo& full = *library->photoForIPhotoKey("100");
  EXPECT_EQ(full.originalSHA1(), std::string(40, 'a'));
  EXPECT_EQ(full.modifiedSHA1(), std::string(40, 'b'));
  EXPECT_EQ(full.imagePath(), "/m.jpg");
  EXPECT_EQ(full.originalPath(), "/o.jpg");
  EXPECT_EQ(full.thumbPath(), "/t.jpg");
  EXPECT_EQ(full.aspectRatio(), 1.5);
  EXPECT_EQ(full.caption(), "Caf\xC3\xA9");
  EXPECT_EQ(full.comment(), "");
  EXPECT_EQ(full.imageType(), "JPEG");
  EXPECT_EQ(full.originalFileSize(), 10u);
  EXPECT_EQ(full.originalMtime_sec(), -20);
  EXPECT_EQ(full.originalMtime_nsec(), 30);
  EXPECT_EQ(full.modifiedFileSize(), 40u);
  EXPECT_EQ(full.modifiedMtime_sec(), 50);
  EXPECT_EQ(full.modifiedMtime_nsec(), 999999999);
  EXPECT_EQ(full.dateTaken().timeIntervalSinceReferenceDate(), 283996800.5);
  EXPECT_EQ(full.rollId(), 0xFFFFFFFFFFFFFFFDull);
  const Photo& bare = *library->photoForIPhotoKey("9");
  EXPECT_EQ(bare.description(), Photo("9").description());
  EXPECT_FALSE(bare.caption());
  EXPECT_EQ(bytesOf(*library), doc.data);

  DocBytes fresh;
  addKeyOnlyRecord(fresh.u(2, 4).u(1), "9");
  fresh.u(1, 1);
  EXPECT_EQ(bytesOf(PhotoLibrary("/lib", {std::make_shared<Photo>("9")}, std::nullopt)),
            fresh.data);
}

}  // namespace
}  // namespace twinlens
