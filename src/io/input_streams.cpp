#include "io/input_streams.hpp"

#include <typeinfo>

#include "shared/logging.hpp"

namespace twinlens {

std::optional<Data> InputStreams::slurp(InputStream& stream, ErrorRecord* error) {
  Data block;
  std::uint8_t piece[8192];
  for (;;) {
    std::int64_t count = stream.read(piece, sizeof piece, error);
    if (count < 0) return std::nullopt;
    if (count == 0) return block;
    block.insert(block.end(), piece, piece + count);
  }
}

std::optional<std::string> InputStreams::readLine(BufferedInputStream& stream, ErrorRecord* error) {
  std::string line;
  for (;;) {
    std::uint8_t byte;
    if (!stream.readExactly(1, &byte, error)) return std::nullopt;
    if (byte == '\n') break;
    line.push_back(static_cast<char>(byte));
  }
  TL_LOG_TRACE(&typeid(InputStreams), "got line <%s> followed by \\n", line.c_str());
  return line;
}

std::optional<std::string> InputStreams::readLineWithCRLF(BufferedInputStream& stream,
                                                          std::uint64_t maxLength,
                                                          ErrorRecord* error) {
  std::string line;
  while (line.size() < maxLength) {
    std::uint8_t byte;
    if (!stream.readExactly(1, &byte, error)) return std::nullopt;
    line.push_back(static_cast<char>(byte));
    if (line.size() >= 2 && line.ends_with("\r\n")) {
      TL_LOG_TRACE(&typeid(InputStreams), "got line <%s>", line.c_str());
      return line;
    }
  }
  TL_SET_ERROR(error, &typeid(InputStreams), kInputStreamErrorDomain, kInputStreamTooLongError,
               "exceeded maxLength %llu before finding CRLF",
               static_cast<unsigned long long>(maxLength));
  return std::nullopt;
}

}  // namespace twinlens
