#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/apple_event_descriptor.hpp"
#include "platform/script_host.hpp"
#include "shared/data.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// How script texts and their answers travel between the script host and an application, over
// the application's Unix-domain stream socket. All numbers are big-endian.
//
//   frame       length N (4 bytes), then N payload bytes; N above kScriptFrameLimit is refused
//   request     'R', then the script text (UTF-8)
//   reply       'S', then one descriptor; or 'E', the error number (4 bytes, signed), the message
//   descriptor  type code (4 bytes), kind 'b' or 'i', length (4 bytes), then that many bytes
//               (kind 'b') or that many descriptors (kind 'i')
//
// A connection carries any number of request and reply frames, strictly in turn; either side may
// close it between two frames.
//
// Decoding distrusts every length: nesting is limited to kScriptDescriptorDepthLimit, item counts
// are checked against the bytes that remain before anything is reserved, and bytes left over
// after the outermost value are an error. Failures are kScriptWireErrorDomain records.

inline constexpr const char* kScriptWireErrorDomain = "ScriptWireErrorDomain";
// The codes of kScriptWireErrorDomain are the script host's error numbers that they become:
// kScriptCorruptAnswerError for malformed bytes (an oversized frame included),
// kScriptTimedOutError when the deadline passed, kScriptConnectionInvalidError when the peer
// closed the connection in the middle of a frame. A system call's failure is "UnixErrorDomain".

inline constexpr std::uint32_t kScriptFrameLimit = 256u << 20;
inline constexpr std::size_t kScriptDescriptorDepthLimit = 100;

Data encodeDescriptor(const AppleEventDescriptor& descriptor);
std::optional<AppleEventDescriptor> decodeDescriptor(const std::uint8_t* bytes, std::size_t length,
                                                     ErrorRecord* error = nullptr);

Data encodeRequest(std::string_view source);
std::optional<std::string> decodeRequest(const std::uint8_t* bytes, std::size_t length,
                                         ErrorRecord* error = nullptr);

// A failure's number is the integer under kAppleScriptErrorNumberKey held to 32 bits (0 when
// absent) and its message the text under kAppleScriptErrorMessageKey ("" when absent).
Data encodeReply(const ScriptOutcome& outcome);
std::optional<ScriptOutcome> decodeReply(const std::uint8_t* bytes, std::size_t length,
                                         ErrorRecord* error = nullptr);

using ScriptDeadline = std::chrono::steady_clock::time_point;
inline ScriptDeadline scriptDeadlineNever() {
  return ScriptDeadline::max();
}

// Writes one frame to a connected stream socket, waiting for room until `deadline`. Never raises
// SIGPIPE.
[[nodiscard]] bool writeScriptFrame(int socket, const Data& payload, ScriptDeadline deadline,
                                    ErrorRecord* error = nullptr);
// Reads one frame's payload, waiting for bytes until `deadline`. A connection closed before the
// frame's first byte gives nullopt and sets *closedCleanly (when given) with no error record;
// closed later it is kScriptConnectionInvalidError.
std::optional<Data> readScriptFrame(int socket, ScriptDeadline deadline,
                                    ErrorRecord* error = nullptr, bool* closedCleanly = nullptr);

// The folder of the applications' sockets: $XDG_RUNTIME_DIR/twinlens-scripting when
// XDG_RUNTIME_DIR is an absolute path of a folder of this user, else
// /tmp/twinlens-scripting-<uid>. Created with mode 0700 when missing. A folder that belongs to
// another user or that its group or others may enter is refused ("UnixErrorDomain" EACCES).
std::optional<std::string> scriptSocketFolder(ErrorRecord* error = nullptr);
// <folder>/<applicationName>.socket. Refuses a name that is empty, begins with a dot or holds a
// slash, and a path too long for a socket address.
std::optional<std::string> scriptSocketPath(std::string_view applicationName,
                                            ErrorRecord* error = nullptr);

}  // namespace twinlens
