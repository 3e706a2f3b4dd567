#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/error_record.hpp"

namespace twinlens::standin {

// One statement of a script, in the order the script gives them.
struct IPhotoCommand {
  enum class Kind { Quit, Activate, SelectLibraryAlbum, SelectPhoto, RemovePhoto, GetAlbumData };

  Kind kind = Kind::Quit;
  // SelectPhoto and RemovePhoto: the photo id as the script writes it, and its value (nullopt
  // when it does not fit in 64 bits, so that it names no photo).
  std::string photoIdText;
  std::optional<std::uint64_t> photoId;

  bool operator==(const IPhotoCommand&) const = default;
};

// The scripts the stand-in understands: one `tell application "iPhoto"` … `end tell` block whose
// lines are the commands Twinlens sends ("quit", "activate", "select photo library album",
// "select photo id N", "remove photo id N", and the album-data query). Spaces and tabs may run
// between words and before and after a line, blank lines are skipped, and a line ends with a line
// feed, a carriage return or both; anything else is refused as AppleScript refuses a script that
// does not compile, with kScriptSyntaxError and a message such as
// "Expected end of line but found “photos”.".
class IPhotoScript {
 public:
  // The commands of `source`, or nullopt with the syntax error, in errorDomain().
  static std::optional<IPhotoScript> parse(std::string_view source, ErrorRecord* error = nullptr);

  const std::vector<IPhotoCommand>& commands() const { return commands_; }

  static const char* errorDomain() { return "IPhotoScriptErrorDomain"; }

 private:
  explicit IPhotoScript(std::vector<IPhotoCommand> commands) : commands_(std::move(commands)) {}

  std::vector<IPhotoCommand> commands_;
};

}  // namespace twinlens::standin
