#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "iphoto_interpreter.hpp"
#include "library_saver.hpp"
#include "platform/script_host.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// Error number of a "quit" whose save failed (AppleScript's "the handler failed"); the stand-in
// then keeps running, so that the change is not lost.
inline constexpr std::int32_t kScriptHandlerFailedError = -10000;

// The running stand-in on one library folder: answers script texts, saves "AlbumData.xml" in
// the background after every change and once more on the way out.
class IPhotoApplication {
 public:
  // Opens the folder's library (LibraryFolder::open's failures).
  static std::unique_ptr<IPhotoApplication> open(const std::string& folder,
                                                 ErrorRecord* error = nullptr);

  // The answer to one script. After a "quit" it saves first; when that succeeds the answer is
  // the script's and quitting() turns true, else it is kScriptHandlerFailedError with the
  // save's message. Called from one thread at a time.
  ScriptOutcome handle(std::string_view source);
  bool quitting() const { return quitting_; }

  IPhotoApplication(std::string folder, IPhotoLibrary library);

  // Writes the catalogue now (on the way out after a signal, say); true at once after a
  // successful quit, which saved already.
  [[nodiscard]] bool save(ErrorRecord* error = nullptr);

  const std::string& folder() const { return folder_; }
  std::size_t photoCount();

 private:
  std::string folder_;
  std::mutex libraryLock_;
  IPhotoInterpreter interpreter_;
  LibrarySaver saver_;
  std::atomic<bool> quitting_ = false;
};

}  // namespace twinlens::standin
