#include <gtest/gtest.h>

#include "io/buffered_output_stream.hpp"
#include "io/data_output_stream.hpp"
#include "shared/programming_error.hpp"
#include "support/failing_streams.hpp"

namespace twinlens {
namespace {

using testing::FailingOutputStream;

Data filled(std::size_t n, std::uint8_t seed = 1) {
  Data bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i);
  return bytes;
}

TEST(BufferedOutputStream, BuffersUpToItsSizeThenFlushesFirstAndLargeWritesGoStraightThrough) {
  auto block = std::make_shared<Data>(Data{9});
  DataOutputStream data(block);
  EXPECT_EQ(data.write(filled(3).data(), 3), 3);
  EXPECT_EQ(*block, (Data{9, 1, 2, 3}));
  EXPECT_EQ(data.bytesWritten(), 3u);

  auto sink = std::make_shared<FailingOutputStream>();
  {
    BufferedOutputStream stream(sink);
    Data full = filled(8192);
    ASSERT_EQ(stream.write(full.data(), full.size()), 8192);
    EXPECT_TRUE(sink->accepted().empty());
    std::uint8_t one = 0xAB;
    ASSERT_EQ(stream.write(&one, 1), 1);
    EXPECT_EQ(sink->accepted(), full) << "the full buffer goes first, the new byte waits";
    ASSERT_TRUE(stream.flush());
    EXPECT_EQ(sink->accepted().size(), 8193u);
    EXPECT_EQ(sink->accepted().back(), 0xAB);
    ASSERT_EQ(stream.write(full.data(), 10), 10);
  }
  EXPECT_EQ(sink->accepted().size(), 8193u) << "dropping without a flush loses buffered bytes";

  auto chunked = std::make_shared<FailingOutputStream>();
  chunked->setMaxPerWrite(1000);
  BufferedOutputStream stream(chunked);
  Data big = filled(9000);
  ASSERT_EQ(stream.write(big.data(), big.size()), 9000);
  EXPECT_EQ(chunked->accepted(), big);
  EXPECT_EQ(stream.bytesWritten(), 9000u);
}

TEST(BufferedOutputStream, ZeroAcceptedFailsWithMinusFourAndAMissingStreamIsAProgrammingError) {
  auto sink = std::make_shared<FailingOutputStream>();
  sink->acceptZeroAfter(0);
  BufferedOutputStream stream(sink);
  Data big = filled(9000);
  ErrorRecord error;
  EXPECT_EQ(stream.write(big.data(), big.size(), &error), -1);
  EXPECT_TRUE(error.isErrorWithDomain("BufferedOutputStreamErrorDomain",
                                      BufferedOutputStream::kNothingWrittenError));
  EXPECT_EQ(error.description(), "0 bytes written to underlying stream");

  ASSERT_EQ(stream.write(big.data(), 10), 10);
  EXPECT_FALSE(stream.flush(&error));
  EXPECT_EQ(error.description(), "0 bytes written to underlying stream <FailingOutputStream>");

  BufferedOutputStream orphan(nullptr);
  EXPECT_THROW(orphan.write(big.data(), 1), ProgrammingError);
}

TEST(BufferedOutputStream, FailedFlushKeepsOnlyTheUnwrittenBytesAndWriteExactlyFails) {
  auto sink = std::make_shared<FailingOutputStream>();
  sink->setMaxPerWrite(4);
  sink->failAfter(4, ENOSPC);
  BufferedOutputStream stream(sink);
  Data ten = filled(10);
  ASSERT_EQ(stream.write(ten.data(), 10), 10);
  ErrorRecord error;
  EXPECT_FALSE(stream.flush(&error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOSPC));
  sink->failAfter(UINT64_MAX);
  ASSERT_TRUE(stream.flush());
  EXPECT_EQ(sink->accepted(), ten) << "a retried flush writes no byte twice";

  sink->failAfter(0);
  Data big = filled(9000);
  EXPECT_FALSE(stream.writeExactly(big.data(), big.size()));
  EXPECT_TRUE(stream.writeExactly(big.data(), 5));
}

}  // namespace
}  // namespace twinlens
