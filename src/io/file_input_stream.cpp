#include "io/file_input_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/file_helpers.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

FileInputStream::FileInputStream(std::string path, std::uint64_t offset, std::uint64_t length)
    : path_(std::move(path)), fileLength_(offset + length), offset_(offset) {}

FileInputStream::~FileInputStream() {
  close();
}

bool FileInputStream::open(ErrorRecord* error) {
  int fd = openRegularFileForReading(path_, O_NOFOLLOW, error);
  if (fd < 0) return false;
  fd_ = fd;
  TL_LOG_TRACE(this, "opened fd %d (%s)", fd_, path_.c_str());
  if (offset_ != 0 && ::lseek(fd_, static_cast<off_t>(offset_), SEEK_SET) < 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, this, err, "lseek(%s, %llu): %s", path_.c_str(),
                      static_cast<unsigned long long>(offset_), std::strerror(err));
    return false;
  }
  return true;
}

std::int64_t FileInputStream::read(std::uint8_t* into, std::uint64_t bufferLength,
                                   ErrorRecord* error) {
  if (fd_ == -1 && !open(error)) return -1;
  std::uint64_t n = std::min(fileLength_ - std::min(offset_, fileLength_), bufferLength);
  if (n == 0) return 0;
  ssize_t count;
  do {
    count = ::read(fd_, into, static_cast<size_t>(std::min<std::uint64_t>(n, SSIZE_MAX)));
  } while (count < 0 && errno == EINTR);
  if (count < 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, this, err, "read(%s): %s", path_.c_str(), std::strerror(err));
    return -1;
  }
  offset_ += static_cast<std::uint64_t>(count);
  return count;
}

std::optional<Data> FileInputStream::slurp(ErrorRecord* error) {
  // The range's length is known, so the block is made once and read into in place rather than
  // grown (and copied) as it fills; only a range beyond the first block's bound grows it.
  constexpr std::uint64_t kLargestFirstBlock = std::uint64_t{1} << 28;
  const std::uint64_t remaining = fileLength_ - std::min(offset_, fileLength_);
  Data block(static_cast<std::size_t>(std::min(remaining, kLargestFirstBlock)));
  std::size_t filled = 0;
  for (;;) {
    if (filled == block.size()) {
      if (fd_ != -1 && offset_ >= fileLength_) break;
      block.resize(2 * block.size() + 8192);
    }
    std::int64_t count = read(block.data() + filled, block.size() - filled, error);
    if (count < 0) return std::nullopt;
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  block.resize(filled);
  return block;
}

std::string FileInputStream::description() const {
  return formatText("<FileInputStream: fd=%d path=%s>", fd_, path_.c_str());
}

void FileInputStream::close() {
  if (fd_ == -1) return;
  ::close(fd_);
  TL_LOG_TRACE(this, "closed fd %d (%s)", fd_, path_.c_str());
  fd_ = -1;
}

}  // namespace twinlens
