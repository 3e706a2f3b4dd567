#include "crypto/sha1_hash.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/data_input_stream.hpp"
#include "io/file_input_stream.hpp"
#include "sample/jpeg_builder.hpp"
#include "shared/logging.hpp"
#include "support/failing_streams.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using sample::JpegBuilder;
using testing::LogCapture;
using testing::TempDir;

constexpr const char* kEmptyDigest = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

std::string digestOf(const Data& bytes, std::size_t from, std::size_t to) {
  return SHA1Hash::hashData(Data(bytes.begin() + from, bytes.begin() + to));
}

// Walks `bytes` in memory as hashPhotoStream does for a file of that length.
std::optional<std::string> walk(const Data& bytes, ErrorRecord* error = nullptr) {
  BufferedInputStream stream(std::make_shared<DataInputStream>(bytes));
  return SHA1Hash::hashPhotoStream(stream, bytes.size(), error);
}

// Offset just past the length field of the first start-of-scan segment.
std::size_t imageDataStart(const Data& jpeg) {
  for (std::size_t i = 2; i + 3 < jpeg.size();) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 4;
    i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
  }
  return 0;
}

TEST(SHA1Hash, KnownDigestsAndStreamsOfAGivenLength) {
  EXPECT_EQ(SHA1Hash::hashData({}), kEmptyDigest);
  EXPECT_EQ(SHA1Hash::hashData({'a', 'b', 'c'}), "a9993e364706816aba3e25717850c26c9cd0d89d");
  DataInputStream stream(Data{'a', 'b', 'c'});
  std::uint64_t length = 0;
  EXPECT_EQ(SHA1Hash::hashStream(stream, &length), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(length, 3u);

  DataInputStream enough(Data(100, 1));
  EXPECT_EQ(SHA1Hash::hashStreamWithLength(enough, 60), SHA1Hash::hashData(Data(60, 1)));
  DataInputStream shortStream(Data(10, 1));
  ErrorRecord error;
  EXPECT_FALSE(SHA1Hash::hashStreamWithLength(shortStream, 20, &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("SHA1HashErrorDomain", SHA1Hash::kEndOfDataError));
  EXPECT_NE(error.description().find("after 10 of 20 bytes"), std::string::npos);

  Sha1Context context;
  BufferedInputStream buffered(std::make_shared<DataInputStream>(Data(10, 1)));
  ErrorRecord untouched;
  EXPECT_FALSE(SHA1Hash::updateSHA1(context, buffered, 0, &untouched)) << "an update of no bytes";
  EXPECT_TRUE(untouched.domain().empty());
}

TEST(SHA1Hash, JpegDigestCoversImageDataUpToTheLastTwoBytes) {
  Data trailing = sample::samplePhoto(1, 1000, "Camera");
  trailing.insert(trailing.end(), {0x12, 0x34, 0x00, 0x00});
  const struct {
    const char* name;
    Data bytes;
    const char* warning;
  } cases[] = {
      {"baseline", sample::samplePhoto(7, 20000, "Camera A"), nullptr},
      {"progressive scans and later markers", sample::samplePhoto(3, 30000, "Camera", true),
       nullptr},
      {"trailing data is hashed and warned about", trailing,
       "  unexpected end marker in JPEG: 0x0000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture capture(kLogLevelWarn);
    std::size_t start = imageDataStart(c.bytes);
    ASSERT_GT(start, 0u);
    EXPECT_EQ(walk(c.bytes), digestOf(c.bytes, start, c.bytes.size() - 2));
    std::vector<std::string> warnings = capture.linesStartingWith("WARN");
    ASSERT_EQ(warnings.size(), c.warning ? 1u : 0u);
    if (c.warning) {
      EXPECT_TRUE(warnings[0].ends_with(c.warning)) << warnings[0];
    }
  }
  EXPECT_EQ(walk(JpegBuilder().startOfImage().jfif().exif("x").endOfImage().bytes()), kEmptyDigest)
      << "no scan, no image data";
  EXPECT_EQ(walk(JpegBuilder().startOfImage().comment("other").endOfImage().bytes()), kEmptyDigest);
}

Data withSegment(std::uint16_t length, const Data& payload = {}) {
  return JpegBuilder().startOfImage().segmentWithLength(0xE1, length, payload).scan(100, 1).bytes();
}

Data jfifThen(const Data& bytes) {
  return JpegBuilder().startOfImage().jfif().raw(bytes).endOfImage().bytes();
}

TEST(SHA1Hash, ShortNonJpegAndUnwalkableFilesAreHashedWhole) {
  Data cut = sample::samplePhoto(2, 1000, "Camera");
  cut.resize(30);
  const std::string bad = "SHA1HashErrorDomain", eof = "BufferedInputStreamErrorDomain";
  const std::string tooShort = "JPEG segment ffe1 length can't be fewer than 3 bytes long";
  const struct {
    const char* name;
    Data bytes;
    std::optional<std::string> domain;  // of the walk's failure; empty: no record; none: no walk
    std::int64_t code;
    std::string messagePart;
  } cases[] = {
      {"four-byte jpeg", {0xFF, 0xD8, 0xFF, 0xD9}, std::nullopt, 0, ""},
      {"empty", {}, std::nullopt, 0, ""},
      {"text", {'h', 'e', 'l', 'l', 'o', '\n'}, std::nullopt, 0, ""},
      {"png-like", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}, std::nullopt, 0, ""},
      {"segment length 0", withSegment(0), bad, SHA1Hash::kBadJPEGError, tooShort},
      {"segment length 1", withSegment(1), bad, SHA1Hash::kBadJPEGError, tooShort},
      {"segment length 2", withSegment(2), bad, SHA1Hash::kBadJPEGError, tooShort},
      {"segment length 65535 past the end", withSegment(65535, Data(100, 7)), eof,
       BufferedInputStream::kEndOfDataError, "EOF on"},
      {"cut inside a segment before the scan", cut, eof, BufferedInputStream::kEndOfDataError,
       "EOF on"},
      {"scan length field ends at the last two bytes", jfifThen({0xFF, 0xDA, 0, 12}), "", 0, ""},
      {"scan length field overlaps the last two bytes", jfifThen({0xFF, 0xDA, 0}), bad,
       SHA1Hash::kBadJPEGError, "unexpected EOF reading image data from"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.write(c.name, c.bytes);
    EXPECT_EQ(SHA1Hash::hashPhoto(path), SHA1Hash::hashData(c.bytes));
    EXPECT_EQ(SHA1Hash::hashPhoto(path), SHA1Hash::hashFile(path));
    if (!c.domain) continue;
    ErrorRecord error;
    EXPECT_FALSE(walk(c.bytes, &error).has_value());
    EXPECT_EQ(error.domain(), *c.domain);
    if (!c.domain->empty()) {
      EXPECT_EQ(error.code(), c.code);
      EXPECT_NE(error.description().find(c.messagePart), std::string::npos) << error.description();
    }
  }
}

TEST(SHA1Hash, FileThatShrinksAfterLstatIsHashedToItsNewEnd) {
  TempDir dir;
  Data text(5000, 'x');
  std::string path = dir.write("shrinking", text);
  ASSERT_EQ(::truncate(path.c_str(), 3000), 0);
  // The stream still believes the length lstat gave before the file shrank.
  BufferedInputStream plain(std::make_shared<FileInputStream>(path, 0, 5000));
  EXPECT_EQ(SHA1Hash::hashPhotoStream(plain, 5000), SHA1Hash::hashData(Data(3000, 'x')));

  Data photo = sample::samplePhoto(4, 5000, "Camera");
  dir.write("shrinking", photo);
  ASSERT_EQ(::truncate(path.c_str(), 3000), 0);
  BufferedInputStream jpeg(std::make_shared<FileInputStream>(path, 0, photo.size()));
  ErrorRecord error;
  EXPECT_FALSE(SHA1Hash::hashPhotoStream(jpeg, photo.size(), &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("SHA1HashErrorDomain", SHA1Hash::kBadJPEGError));
}

TEST(SHA1Hash, PathsThatCannotBeReadFail) {
  TempDir dir;
  std::string target = dir.write("photo.jpg", sample::samplePhoto(1, 100, "Camera"));
  std::string link = dir.file("link.jpg");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

  ErrorRecord error;
  EXPECT_FALSE(SHA1Hash::hashPhoto(link, &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ELOOP));

  EXPECT_FALSE(SHA1Hash::hashPhoto(dir.file("missing.jpg"), &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOENT));
  EXPECT_EQ(error.description(),
            "lstat(" + dir.file("missing.jpg") + "): No such file or directory");

  // A named pipe has no length: it must be refused, not hashed as empty or waited on.
  std::string fifo = dir.file("pipe.jpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {dir.path(), fifo}) {
    EXPECT_FALSE(SHA1Hash::hashPhoto(path, &error).has_value()) << path;
    EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", path == fifo ? EINVAL : EISDIR));
    EXPECT_EQ(error.description(), path + " is not a regular file");
  }
}

TEST(SHA1Hash, ReadFailureDuringTheWalkPassesTheStreamRecordOn) {
  Data photo = sample::samplePhoto(5, 40000, "Camera");
  auto failing =
      std::make_shared<testing::FailingInputStream>(std::make_shared<DataInputStream>(photo));
  failing->failAfter(20000, EIO);
  BufferedInputStream stream(failing);
  ErrorRecord error;
  EXPECT_FALSE(SHA1Hash::hashPhotoStream(stream, photo.size(), &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EIO));
}

}  // namespace
}  // namespace twinlens
