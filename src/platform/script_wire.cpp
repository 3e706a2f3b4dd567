#include "platform/script_wire.hpp"

#include <typeinfo>
#include <vector>

#include "io/integer_io.hpp"

namespace twinlens {

namespace {

constexpr std::uint8_t kKindBytes = 'b';
constexpr std::uint8_t kKindItems = 'i';
constexpr std::uint8_t kRequestTag = 'R';
constexpr std::uint8_t kSuccessTag = 'S';
constexpr std::uint8_t kFailureTag = 'E';
// Type code, kind and length: the least an item can take.
constexpr std::size_t kDescriptorHeaderLength = 9;
// Items are reserved up to this many at once; more grow the list as they are read.
constexpr std::size_t kReserveLimit = 4096;

bool malformed(ErrorRecord* error, const char* what, std::size_t offset) {
  TL_SET_ERROR(error, &typeid(AppleEventDescriptor), kScriptWireErrorDomain,
               kScriptCorruptAnswerError, "malformed script message: %s at byte %zu", what, offset);
  return false;
}

// Reads big-endian fields from a block whose every length is distrusted.
class Reader {
 public:
  Reader(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

  std::size_t offset() const { return offset_; }
  std::size_t remaining() const { return length_ - offset_; }

  bool byte(std::uint8_t* value) {
    if (remaining() < 1) return false;
    *value = bytes_[offset_++];
    return true;
  }
  bool uint32(std::uint32_t* value) {
    if (remaining() < 4) return false;
    const std::uint8_t* p = bytes_ + offset_;
    *value = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) |
             (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
    offset_ += 4;
    return true;
  }
  const std::uint8_t* take(std::size_t count) {
    const std::uint8_t* start = bytes_ + offset_;
    offset_ += count;
    return start;
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t length_;
  std::size_t offset_ = 0;
};

struct OpenContainer {
  FourCharCode type;
  std::uint32_t count;
  std::vector<AppleEventDescriptor> items;
};

void appendDescriptor(const AppleEventDescriptor& descriptor, Data& to) {
  IntegerIO::writeUInt32(descriptor.descriptorType(), to);
  if (descriptor.hasItems()) {
    to.push_back(kKindItems);
    IntegerIO::writeUInt32(static_cast<std::uint32_t>(descriptor.numberOfItems()), to);
    for (const AppleEventDescriptor& item : descriptor.items()) appendDescriptor(item, to);
  } else {
    to.push_back(kKindBytes);
    IntegerIO::writeUInt32(static_cast<std::uint32_t>(descriptor.data().size()), to);
    to.insert(to.end(), descriptor.data().begin(), descriptor.data().end());
  }
}

// Reads one descriptor without recursion: containers wait on `open` until their last item.
std::optional<AppleEventDescriptor> readDescriptor(Reader& reader, ErrorRecord* error) {
  std::vector<OpenContainer> open;
  while (true) {
    const std::size_t start = reader.offset();
    std::uint32_t type = 0, length = 0;
    std::uint8_t kind = 0;
    if (!reader.uint32(&type) || !reader.byte(&kind) || !reader.uint32(&length)) {
      malformed(error, "descriptor header cut short", start);
      return std::nullopt;
    }
    std::optional<AppleEventDescriptor> done;
    if (kind == kKindBytes) {
      if (length > reader.remaining()) {
        malformed(error, "descriptor bytes cut short", start);
        return std::nullopt;
      }
      const std::uint8_t* bytes = reader.take(length);
      done.emplace(type, Data(bytes, bytes + length));
    } else if (kind == kKindItems) {
      if (open.size() >= kScriptDescriptorDepthLimit) {
        malformed(error, "descriptors nested too deeply", start);
        return std::nullopt;
      }
      if (length > reader.remaining() / kDescriptorHeaderLength) {
        malformed(error, "more items than bytes to hold them", start);
        return std::nullopt;
      }
      if (length == 0) {
        done = AppleEventDescriptor::withItems(type, {});
      } else {
        open.push_back({type, length, {}});
        open.back().items.reserve(std::min<std::size_t>(length, kReserveLimit));
      }
    } else {
      malformed(error, "unknown descriptor kind", start + 4);
      return std::nullopt;
    }
    while (done) {
      if (open.empty()) return done;
      OpenContainer& container = open.back();
      container.items.push_back(std::move(*done));
      done.reset();
      if (container.items.size() == container.count) {
        done = AppleEventDescriptor::withItems(container.type, std::move(container.items));
        open.pop_back();
      }
    }
  }
}

bool nothingLeft(const Reader& reader, ErrorRecord* error) {
  return reader.remaining() == 0 || malformed(error, "bytes after the descriptor", reader.offset());
}

}  // namespace

Data encodeDescriptor(const AppleEventDescriptor& descriptor) {
  Data bytes;
  appendDescriptor(descriptor, bytes);
  return bytes;
}

std::optional<AppleEventDescriptor> decodeDescriptor(const std::uint8_t* bytes, std::size_t length,
                                                     ErrorRecord* error) {
  Reader reader(bytes, length);
  std::optional<AppleEventDescriptor> descriptor = readDescriptor(reader, error);
  if (!descriptor || !nothingLeft(reader, error)) return std::nullopt;
  return descriptor;
}

Data encodeRequest(std::string_view source) {
  Data bytes;
  bytes.reserve(source.size() + 1);
  bytes.push_back(kRequestTag);
  bytes.insert(bytes.end(), source.begin(), source.end());
  return bytes;
}

std::optional<std::string> decodeRequest(const std::uint8_t* bytes, std::size_t length,
                                         ErrorRecord* error) {
  if (length == 0 || bytes[0] != kRequestTag) {
    malformed(error, "not a script request", 0);
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(bytes) + 1, length - 1);
}

Data encodeReply(const ScriptOutcome& outcome) {
  Data bytes;
  if (outcome.result) {
    bytes.push_back(kSuccessTag);
    appendDescriptor(*outcome.result, bytes);
    return bytes;
  }
  const auto number = outcome.errorInfo.find(kAppleScriptErrorNumberKey);
  const auto message = outcome.errorInfo.find(kAppleScriptErrorMessageKey);
  bytes.push_back(kFailureTag);
  IntegerIO::writeInt32(
      number == outcome.errorInfo.end() ? 0 : number->second.int32Value().value_or(0), bytes);
  if (message != outcome.errorInfo.end() && message->second.textValue())
    bytes.insert(bytes.end(), message->second.textValue()->begin(),
                 message->second.textValue()->end());
  return bytes;
}

std::optional<ScriptOutcome> decodeReply(const std::uint8_t* bytes, std::size_t length,
                                         ErrorRecord* error) {
  Reader reader(bytes, length);
  std::uint8_t tag = 0;
  if (!reader.byte(&tag)) {
    malformed(error, "empty script answer", 0);
    return std::nullopt;
  }
  if (tag == kSuccessTag) {
    std::optional<AppleEventDescriptor> result = readDescriptor(reader, error);
    if (!result || !nothingLeft(reader, error)) return std::nullopt;
    return ScriptOutcome::success(std::move(*result));
  }
  std::uint32_t number = 0;
  if (tag != kFailureTag) {
    malformed(error, "unknown script answer", 0);
    return std::nullopt;
  }
  if (!reader.uint32(&number)) {
    malformed(error, "error number cut short", 1);
    return std::nullopt;
  }
  const std::size_t messageLength = reader.remaining();
  const auto* message = reinterpret_cast<const char*>(reader.take(messageLength));
  return ScriptOutcome::failure(static_cast<std::int32_t>(number),
                                std::string(message, messageLength));
}

}  // namespace twinlens
