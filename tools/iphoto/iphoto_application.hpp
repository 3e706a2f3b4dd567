#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "iphoto_interpreter.hpp"
#include "library_folder.hpp"
#include "platform/script_host.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// The running stand-in on one library folder: answers script texts, saving "AlbumData.xml"
// after every change before the answer, and once more on the way out. It holds the folder's
// LibraryLock while it lives, so a new instance waits until this one has saved for the last time.
class IPhotoApplication {
 public:
  // Takes the folder's lock (waiting for an instance that is still on its way out) and opens its
  // library (LibraryFolder::open's failures).
  static std::unique_ptr<IPhotoApplication> open(const std::string& folder,
                                                 ErrorRecord* error = nullptr);

  // The answer to one script. After a "quit" it saves first; when that succeeds the answer is
  // the script's and quitting() turns true, else it is kScriptHandlerFailedError with the
  // save's message. Called from one thread at a time.
  ScriptOutcome handle(std::string_view source);
  bool quitting() const { return quitting_; }

  IPhotoApplication(std::string folder, IPhotoLibrary library, LibraryLock lock);

  // Writes the catalogue now (on the way out after a signal, say); true at once after a
  // successful quit, which saved already.
  [[nodiscard]] bool save(ErrorRecord* error = nullptr);

  const std::string& folder() const { return folder_; }
  std::size_t photoCount();

 private:
  bool saveLibrary(ErrorRecord* error);

  LibraryLock folderLock_;
  std::string folder_;
  std::mutex libraryLock_;
  IPhotoInterpreter interpreter_;
  std::atomic<bool> quitting_ = false;
};

}  // namespace twinlens::standin
