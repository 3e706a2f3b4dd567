#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "crypto/sha1_context.hpp"
#include "io/buffered_input_stream.hpp"

namespace twinlens {

// SHA-1 digests as 40 lower-case hexadecimal digits. Photos are hashed JPEG-aware: a file that
// starts with FF D8 is hashed from the end of its first start-of-scan length field up to, not
// including, its last two bytes, so copies that differ only in metadata segments hash alike.
// Stateless: every call has its own context and buffers.
class SHA1Hash {
 public:
  // The JPEG-aware digest, or the whole-file digest when the file is not a JPEG or its segments
  // cannot be walked. Fails ("UnixErrorDomain") only when the path cannot be lstat'ed or the
  // whole-file pass fails too; a symbolic link is never followed. Judge success by the result:
  // a record from a failed walk may be left in *error when the whole-file pass succeeds.
  static std::optional<std::string> hashPhoto(const std::string& path,
                                              ErrorRecord* error = nullptr);
  // The walk over a stream positioned at a file's first byte, whose length is totalLength.
  // Fails with "SHA1HashErrorDomain" -1 for a segment length under 3 or image data that runs
  // into the last two bytes, with the stream's record for a short file, and with no record when
  // nothing lies between the start-of-scan length field and the last two bytes.
  static std::optional<std::string> hashPhotoStream(BufferedInputStream& stream,
                                                    std::uint64_t totalLength,
                                                    ErrorRecord* error = nullptr);
  // Feeds exactly `length` bytes of `stream` to `context`. False, with no record, for a length
  // of 0; "SHA1HashErrorDomain" -1 when the stream ends first.
  static bool updateSHA1(Sha1Context& context, BufferedInputStream& stream, std::uint64_t length,
                         ErrorRecord* error = nullptr);

  static std::optional<std::string> hashFile(const std::string& path, ErrorRecord* error = nullptr);
  static std::optional<std::string> hashStream(InputStream& stream, ErrorRecord* error = nullptr);
  // *streamLength receives the number of bytes hashed.
  static std::optional<std::string> hashStream(InputStream& stream, std::uint64_t* streamLength,
                                               ErrorRecord* error = nullptr);
  // Exactly `length` bytes; kEndOfDataError when the stream ends first.
  static std::optional<std::string> hashStreamWithLength(InputStream& stream, std::uint64_t length,
                                                         ErrorRecord* error = nullptr);
  static std::string hashData(const Data& data);

  // Frees what the hashing library keeps for the calling thread. A worker calls it before it
  // reports its end, since the process may be gone before the thread's own exit would free it.
  static void releaseThreadResources();

  static const char* errorDomain() { return "SHA1HashErrorDomain"; }
  // Its codes: a JPEG segment too short or image data that ends early; a stream that ends early.
  static constexpr std::int32_t kBadJPEGError = -1;
  static constexpr std::int32_t kEndOfDataError = -4;
};

}  // namespace twinlens
