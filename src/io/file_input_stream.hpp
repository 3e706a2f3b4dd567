#pragma once

#include <string>

#include "io/input_stream.hpp"

namespace twinlens {

// Reads the bytes from `offset` up to offset + length of a file. The file is opened on the first
// read (never through a symbolic link in its last component, and only when it is a regular file:
// see openRegularFileForReading) and closed by close() or
// destruction; a read after close() opens it again and goes on where it stopped.
class FileInputStream final : public InputStream {
 public:
  FileInputStream(std::string path, std::uint64_t offset, std::uint64_t length);
  ~FileInputStream() override;
  FileInputStream(const FileInputStream&) = delete;
  FileInputStream& operator=(const FileInputStream&) = delete;

  // Failures: "UnixErrorDomain" with errno; "%s" for open, "%@ is not a regular file", "lseek(%@,
  // %qu): %s", "read(%@): %s". A file shorter than the range ends the stream early.
  std::int64_t read(std::uint8_t* into, std::uint64_t bufferLength,
                    ErrorRecord* error = nullptr) override;
  std::optional<Data> slurp(ErrorRecord* error = nullptr) override;
  std::string description() const override;
  void close();

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  std::uint64_t offset() const { return offset_; }

 private:
  bool open(ErrorRecord* error);

  int fd_ = -1;
  std::string path_;
  std::uint64_t fileLength_;
  std::uint64_t offset_;
};

}  // namespace twinlens
