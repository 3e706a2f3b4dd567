#include "iphoto_application.hpp"

#include "library_folder.hpp"
#include "shared/logging.hpp"

namespace twinlens::standin {

std::unique_ptr<IPhotoApplication> IPhotoApplication::open(const std::string& folder,
                                                           ErrorRecord* error) {
  std::optional<LibraryLock> lock = LibraryLock::acquire(folder, error);
  if (!lock) return nullptr;
  std::optional<IPhotoLibrary> library = LibraryFolder::open(folder, error);
  if (!library) return nullptr;
  return std::make_unique<IPhotoApplication>(folder, std::move(*library), std::move(*lock));
}

IPhotoApplication::IPhotoApplication(std::string folder, IPhotoLibrary library, LibraryLock lock)
    : folderLock_(std::move(lock)),
      folder_(std::move(folder)),
      interpreter_(std::move(library), [this](ErrorRecord* error) { return saveLibrary(error); }) {}

// Called with libraryLock_ held, from handle() or save().
bool IPhotoApplication::saveLibrary(ErrorRecord* error) {
  return LibraryFolder::save(folder_, interpreter_.library().albumData(), error);
}

ScriptOutcome IPhotoApplication::handle(std::string_view source) {
  std::lock_guard lock(libraryLock_);
  ScriptOutcome outcome = interpreter_.run(source);
  if (!interpreter_.takeQuitRequest()) return outcome;
  ErrorRecord error;
  if (!saveLibrary(&error))
    return ScriptOutcome::failure(kScriptHandlerFailedError,
                                  "Can't save the library: " + error.description());
  logInfo("quitting");
  quitting_ = true;
  return outcome;
}

bool IPhotoApplication::save(ErrorRecord* error) {
  std::lock_guard lock(libraryLock_);
  return quitting_ || saveLibrary(error);
}

std::size_t IPhotoApplication::photoCount() {
  std::lock_guard lock(libraryLock_);
  return interpreter_.library().photoCount();
}

}  // namespace twinlens::standin
