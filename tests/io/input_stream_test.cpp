#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "io/buffered_input_stream.hpp"
#include "io/data_input_stream.hpp"
#include "io/file_input_stream.hpp"
#include "io/input_streams.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"
#include "support/failing_streams.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::FailingInputStream;
using testing::LogCapture;
using testing::TempDir;

Data counting(std::size_t n) {
  Data bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

std::shared_ptr<BufferedInputStream> buffered(Data bytes) {
  return std::make_shared<BufferedInputStream>(std::make_shared<DataInputStream>(std::move(bytes)));
}

void expectEndOfData(const ErrorRecord& error, const std::string& message) {
  EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                      BufferedInputStream::kEndOfDataError));
  EXPECT_EQ(error.description(), message);
}

TEST(FileInputStream, DeliversExactlyItsRangeEndsEarlyOnAShortFileAndRefusesAllButFiles) {
  TempDir dir;
  Data bytes = counting(300);
  std::string path = dir.write("f", bytes);
  FileInputStream stream(path, 100, 50);
  EXPECT_EQ(stream.fd(), -1) << "must not open before the first read";
  std::optional<Data> got = stream.slurp();
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, Data(bytes.begin() + 100, bytes.begin() + 150));
  std::uint8_t some[10];
  EXPECT_EQ(stream.read(some, 1), 0);

  path = dir.write("short", Data{1, 2, 3});
  FileInputStream empty(path, 0, 0);
  EXPECT_EQ(empty.read(some, 1), 0);
  EXPECT_NE(empty.fd(), -1);
  EXPECT_EQ(FileInputStream(path, 0, 100).slurp()->size(), 3u);

  std::string link = dir.file("link"), fifo = dir.file("fifo");
  ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string place;
    int code;
    std::string message;
  } cases[] = {{dir.file("nope"), ENOENT, "No such file or directory"},
               {link, ELOOP, std::strerror(ELOOP)},
               {dir.path(), EISDIR, dir.path() + " is not a regular file"},
               {fifo, EINVAL, fifo + " is not a regular file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.place);
    FileInputStream refused(c.place, 0, 10);
    ErrorRecord error;
    EXPECT_EQ(refused.read(some, 10, &error), -1) << "a pipe must not wait for a writer";
    EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", c.code));
    EXPECT_EQ(error.description(), c.message);
  }
}

TEST(FileInputStream, ReadAfterCloseReopensAndABufferedStreamClosesItWhenReleased) {
  TempDir dir;
  std::string path = dir.write("f", counting(10));
  LogCapture capture(kLogLevelTrace);
  FileInputStream stream(path, 0, 10);
  std::uint8_t first[4], rest[10];
  ASSERT_EQ(stream.read(first, 4), 4);
  int fd = stream.fd();
  stream.close();
  EXPECT_EQ(stream.fd(), -1);
  ASSERT_EQ(stream.read(rest, 10), 6);
  EXPECT_EQ(rest[0], counting(10)[4]);
  std::vector<std::string> traces = capture.linesStartingWith("TRACE");
  ASSERT_GE(traces.size(), 2u);
  EXPECT_TRUE(traces[0].ends_with(formatText("opened fd %d (%s)", fd, path.c_str())));
  EXPECT_TRUE(traces[1].ends_with(formatText("closed fd %d (%s)", fd, path.c_str())));
  EXPECT_EQ(stream.description(),
            formatText("<FileInputStream: fd=%d path=%s>", stream.fd(), path.c_str()));

  {
    BufferedInputStream buffered(std::make_shared<FileInputStream>(path, 0, 10));
    ASSERT_TRUE(buffered.readExactly(1, first));
    EXPECT_EQ(buffered.description(), "<BufferedInputStream: underlying=" +
                                          buffered.underlyingStream()->description() + ">");
  }
  EXPECT_EQ(capture.linesStartingWith("TRACE").size(), 5u) << "a buffered stream drops its file";
}

TEST(DataInputStream, RangeAndSlurpAndSlurpOfAnEmptyOrFailingStream) {
  Data bytes = counting(20);
  DataInputStream range(bytes, 5, 10);
  std::uint8_t some[4];
  ASSERT_EQ(range.read(some, 4), 4);
  EXPECT_EQ(some[0], bytes[5]);
  EXPECT_EQ(*range.slurp(), Data(bytes.begin() + 9, bytes.begin() + 15));
  EXPECT_EQ(range.slurp()->size(), 0u);
  EXPECT_EQ(range.read(some, 4), 0);

  DataInputStream empty{Data{}};
  std::optional<Data> got = InputStreams::slurp(empty);
  ASSERT_TRUE(got);
  EXPECT_TRUE(got->empty());
  FailingInputStream failing(std::make_shared<DataInputStream>(counting(100)));
  failing.failAfter(50);
  EXPECT_FALSE(InputStreams::slurp(failing).has_value());
}

TEST(BufferedInputStream, ReadExactlyLimitsTheLengthAndReportsBytesReceivedAtTheEnd) {
  auto stream = buffered(counting(6));
  std::uint8_t bytes[10];
  EXPECT_TRUE(stream->readExactly(0, bytes));
  EXPECT_EQ(stream->bytesReceived(), 0u);
  ErrorRecord error;
  EXPECT_FALSE(stream->readExactly(2147483649ull, bytes, &error));
  EXPECT_TRUE(error.isErrorWithDomain("InputStreamErrorDomain", kInputStreamTooLongError));
  EXPECT_EQ(error.description(), "absurd length 2147483649 requested");
  // Exactly 2 GiB is allowed: it tries to read and meets the end of the stream.
  EXPECT_FALSE(stream->readExactly(2147483648ull, &error).has_value());
  expectEndOfData(error,
                  "EOF on " + stream->description() + " after 6 of 2147483648 bytes received");

  for (bool intoBlock : {false, true}) {
    SCOPED_TRACE(intoBlock);
    auto fresh = buffered(counting(6));
    bool ok = intoBlock ? fresh->readExactly(10, &error).has_value()
                        : fresh->readExactly(10, bytes, &error);
    EXPECT_FALSE(ok);
    expectEndOfData(error, "EOF on " + fresh->description() + " after 6 of 10 bytes received");
  }
}

TEST(BufferedInputStream, SmallReadsFillTheBufferLargeOnesBypassIt) {
  auto inner =
      std::make_shared<FailingInputStream>(std::make_shared<DataInputStream>(counting(40000)));
  BufferedInputStream stream(inner);
  std::vector<std::uint8_t> out(9000);
  ASSERT_EQ(stream.read(out.data(), 8192), 8192);
  EXPECT_EQ(inner->readCalls(), 1);
  ASSERT_EQ(stream.read(out.data(), 8193), 8193);
  EXPECT_EQ(inner->readCalls(), 2) << "an empty buffer and a large request go straight through";
  ASSERT_EQ(stream.read(out.data(), 1), 1);
  EXPECT_EQ(inner->readCalls(), 3);
  // With bytes buffered, even a large request is served from the buffer first.
  EXPECT_EQ(stream.read(out.data(), 9000), 8191);
  EXPECT_EQ(stream.bytesReceived(), 8192u + 8193u + 1u + 8191u);
}

TEST(BufferedInputStream, ShortReadsAreReassembledAndFailuresPassOn) {
  Data bytes = counting(1000);
  auto inner = std::make_shared<FailingInputStream>(std::make_shared<DataInputStream>(bytes));
  inner->setMaxPerRead(7);
  inner->failAfter(500, EIO);
  BufferedInputStream stream(inner);
  std::vector<std::uint8_t> out(500);
  ASSERT_TRUE(stream.readExactly(500, out.data()));
  EXPECT_EQ(out, Data(bytes.begin(), bytes.begin() + 500));
  ErrorRecord error;
  EXPECT_FALSE(stream.readExactly(1, out.data(), &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", EIO));
}

TEST(BufferedInputStream, SkipExactlyDropsBytesAndFailsAtEnd) {
  auto stream = buffered(counting(20000));
  ASSERT_TRUE(stream->skipExactly(15000));
  std::uint8_t byte;
  ASSERT_TRUE(stream->readExactly(1, &byte));
  EXPECT_EQ(byte, counting(20000)[15000]);
  ErrorRecord error;
  EXPECT_FALSE(stream->skipExactly(5000, &error));
  expectEndOfData(error, "EOF on " + stream->description() + " after 4999 of 5000 bytes received");
}

Data text(const std::string& s) {
  return Data(s.begin(), s.end());
}

TEST(InputStreams, ReadLineKeepsCarriageReturnDropsIncompleteTailAndCRLFHonoursMaximum) {
  auto stream = buffered(text("one\r\ntwo\nthree"));
  EXPECT_EQ(InputStreams::readLine(*stream), "one\r");
  EXPECT_EQ(InputStreams::readLine(*stream), "two");
  ErrorRecord error;
  EXPECT_FALSE(InputStreams::readLine(*stream, &error).has_value());
  EXPECT_TRUE(error.isErrorWithDomain("BufferedInputStreamErrorDomain",
                                      BufferedInputStream::kEndOfDataError));
  EXPECT_EQ(InputStreams::readLineWithCRLF(*buffered(text("abcd\r\nrest")), 6), "abcd\r\n");
  EXPECT_EQ(InputStreams::readLineWithCRLF(*buffered(text("a\nb\rc\r\n")), 10), "a\nb\rc\r\n");
  EXPECT_FALSE(InputStreams::readLineWithCRLF(*buffered(text("abcde\r\n")), 6, &error));
  EXPECT_TRUE(error.isErrorWithDomain("InputStreamErrorDomain", kInputStreamTooLongError));
  EXPECT_EQ(error.description(), "exceeded maxLength 6 before finding CRLF");
}

}  // namespace
}  // namespace twinlens
