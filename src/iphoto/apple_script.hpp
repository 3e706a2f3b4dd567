#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "shared/error_record.hpp"

namespace twinlens {

// One command to iPhoto: composes its script text and has the script host run it. Commands are
// small values; copy() makes a new command of the same class and content, which is a distinct
// object (commands compare by identity). execute() must be called on the main thread.
class AppleScript {
 public:
  virtual ~AppleScript() = default;

  // True when iPhoto ran the script without an error.
  [[nodiscard]] virtual bool execute(ErrorRecord* error = nullptr) = 0;
  virtual std::shared_ptr<AppleScript> copy() const = 0;
  // For log lines: the class and what the command names.
  virtual std::string description() const = 0;
};

// iPhoto's scripting identifier of a photo: the key's number (photoKeyNumber()) plus 2 to the
// 32nd power in 64-bit arithmetic (so the key -1 is 4294967295); nullopt for a key that stands
// for no number, which no command may send.
std::optional<std::uint64_t> scriptIdentifierForPhotoKey(std::string_view photoKey);

}  // namespace twinlens
