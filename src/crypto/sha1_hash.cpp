#include "crypto/sha1_hash.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <typeinfo>

#include "io/file_helpers.hpp"
#include "io/file_input_stream.hpp"
#include "io/hex_string.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"

namespace twinlens {

namespace {

constexpr std::uint64_t kPieceSize = 8192;
constexpr std::uint16_t kStartOfImage = 0xFFD8;
constexpr std::uint16_t kStartOfScan = 0xFFDA;
constexpr std::uint16_t kEndOfImage = 0xFFD9;
const void* const kSelf = &typeid(SHA1Hash);

std::uint16_t bigEndian16(const std::uint8_t bytes[2]) {
  return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

std::optional<std::uint64_t> lstatSize(const std::string& path, ErrorRecord* error) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, kSelf, err, "lstat(%s): %s", path.c_str(), std::strerror(err));
    return std::nullopt;
  }
  // A named pipe or a device reports no length and would hash as empty without being read; a
  // symbolic link goes on to be refused by the open.
  if (!S_ISLNK(info.st_mode) && !isRegularFileMode(path, info.st_mode, error)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

// Hashes from position p up to totalLength; an early end of stream just ends the digest.
std::optional<std::string> hashPlain(Sha1Context& context, BufferedInputStream& stream,
                                     std::uint64_t p, std::uint64_t totalLength,
                                     ErrorRecord* error) {
  auto feed = [&context](const std::uint8_t* bytes, std::uint64_t n) {
    context.update(bytes, static_cast<std::size_t>(n));
  };
  while (p < totalLength) {
    std::int64_t count = stream.consumeBuffered(std::min(totalLength - p, kPieceSize), feed, error);
    if (count < 0) return std::nullopt;
    if (count == 0) break;
    p += static_cast<std::uint64_t>(count);
  }
  return context.hexDigest();
}

bool failImageData(BufferedInputStream& stream, ErrorRecord* error) {
  TL_SET_ERROR(error, kSelf, SHA1Hash::errorDomain(), SHA1Hash::kBadJPEGError,
               "unexpected EOF reading image data from %s", stream.description().c_str());
  return false;
}

}  // namespace

std::optional<std::string> SHA1Hash::hashPhoto(const std::string& path, ErrorRecord* error) {
  std::optional<std::uint64_t> size = lstatSize(path, error);
  if (!size) return std::nullopt;
  BufferedInputStream stream(std::make_shared<FileInputStream>(path, 0, *size));
  if (std::optional<std::string> digest = hashPhotoStream(stream, *size, error)) return digest;
  return hashFile(path, error);
}

std::optional<std::string> SHA1Hash::hashPhotoStream(BufferedInputStream& stream,
                                                     std::uint64_t totalLength,
                                                     ErrorRecord* error) {
  Sha1Context context;
  if (totalLength < 5) return hashPlain(context, stream, 0, totalLength, error);
  std::uint8_t marker[2];
  if (!stream.readExactly(2, marker, error)) return std::nullopt;
  if (bigEndian16(marker) != kStartOfImage) {
    context.update(marker, 2);
    return hashPlain(context, stream, 2, totalLength, error);
  }
  if (!stream.readExactly(2, marker, error)) return std::nullopt;
  const std::uint64_t end = totalLength - 2;
  // p is the position of the two bytes in `marker`.
  for (std::uint64_t p = 2;;) {
    const std::uint16_t m = bigEndian16(marker);
    if (p + 2 > totalLength) throw ProgrammingError("received can't be greater than totalLength");
    if (p + 2 == totalLength) {
      if (m != kEndOfImage) logWarn("unexpected end marker in JPEG: 0x%04x", m);
      return context.hexDigest();
    }
    if (!stream.readExactly(2, marker, error)) return std::nullopt;
    p += 4;
    if (m == kStartOfScan) {
      // Everything from here to the last two bytes is hashed, later markers and scans included.
      if (p > end) {
        failImageData(stream, error);
        return std::nullopt;
      }
      if (!updateSHA1(context, stream, end - p, error)) return std::nullopt;
      p = end;
    } else {
      const std::uint16_t length = bigEndian16(marker);
      if (length < 3) {
        TL_SET_ERROR(error, kSelf, errorDomain(), kBadJPEGError,
                     "%s: JPEG segment %04x length can't be fewer than 3 bytes long",
                     stream.description().c_str(), m);
        return std::nullopt;
      }
      if (!stream.skipExactly(length - 2u, error)) return std::nullopt;
      p += length - 2u;
    }
    if (!stream.readExactly(2, marker, error)) return std::nullopt;
  }
}

bool SHA1Hash::updateSHA1(Sha1Context& context, BufferedInputStream& stream, std::uint64_t length,
                          ErrorRecord* error) {
  if (length == 0) return false;
  auto feed = [&context](const std::uint8_t* bytes, std::uint64_t n) {
    context.update(bytes, static_cast<std::size_t>(n));
  };
  for (std::uint64_t done = 0; done < length;) {
    std::int64_t count = stream.consumeBuffered(std::min(length - done, kPieceSize), feed, error);
    if (count < 0) return false;
    if (count == 0) return failImageData(stream, error);
    done += static_cast<std::uint64_t>(count);
  }
  return true;
}

std::optional<std::string> SHA1Hash::hashFile(const std::string& path, ErrorRecord* error) {
  std::optional<std::uint64_t> size = lstatSize(path, error);
  if (!size) return std::nullopt;
  FileInputStream stream(path, 0, *size);
  return hashStream(stream, error);
}

std::optional<std::string> SHA1Hash::hashStream(InputStream& stream, ErrorRecord* error) {
  std::uint64_t ignored;
  return hashStream(stream, &ignored, error);
}

std::optional<std::string> SHA1Hash::hashStream(InputStream& stream, std::uint64_t* streamLength,
                                                ErrorRecord* error) {
  Sha1Context context;
  std::uint8_t piece[kPieceSize];
  *streamLength = 0;
  for (;;) {
    std::int64_t count = stream.read(piece, sizeof piece, error);
    if (count < 0) return std::nullopt;
    if (count == 0) return context.hexDigest();
    context.update(piece, static_cast<std::size_t>(count));
    *streamLength += static_cast<std::uint64_t>(count);
  }
}

std::optional<std::string> SHA1Hash::hashStreamWithLength(InputStream& stream, std::uint64_t length,
                                                          ErrorRecord* error) {
  Sha1Context context;
  std::uint8_t piece[kPieceSize];
  for (std::uint64_t done = 0; done < length;) {
    std::int64_t count = stream.read(piece, std::min(length - done, kPieceSize), error);
    if (count < 0) return std::nullopt;
    if (count == 0) {
      TL_SET_ERROR(error, kSelf, errorDomain(), kEndOfDataError,
                   "unexpected EOF in %s after %llu of %llu bytes", stream.description().c_str(),
                   static_cast<unsigned long long>(done), static_cast<unsigned long long>(length));
      return std::nullopt;
    }
    context.update(piece, static_cast<std::size_t>(count));
    done += static_cast<std::uint64_t>(count);
  }
  return context.hexDigest();
}

std::string SHA1Hash::hashData(const Data& data) {
  std::uint8_t digest[Sha1Context::kDigestLength] = {};
  if (EVP_Digest(data.data(), data.size(), digest, nullptr, EVP_sha1(), nullptr) != 1)
    logError("CC_SHA1 failed!");
  return hexStringWithBytes(digest, sizeof digest);
}

void SHA1Hash::releaseThreadResources() {
  OPENSSL_thread_stop();
}

}  // namespace twinlens
