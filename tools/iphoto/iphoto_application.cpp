#include "iphoto_application.hpp"

#include "library_folder.hpp"
#include "shared/logging.hpp"

namespace twinlens::standin {

std::unique_ptr<IPhotoApplication> IPhotoApplication::open(const std::string& folder,
                                                           ErrorRecord* error) {
  std::optional<IPhotoLibrary> library = LibraryFolder::open(folder, error);
  if (!library) return nullptr;
  return std::make_unique<IPhotoApplication>(folder, std::move(*library));
}

IPhotoApplication::IPhotoApplication(std::string folder, IPhotoLibrary library)
    : folder_(std::move(folder)),
      interpreter_(std::move(library), [this] { saver_.changed(); }),
      saver_(
          [this] {
            std::lock_guard lock(libraryLock_);
            return interpreter_.library().albumData();
          },
          [this](const AlbumValue& albumData, ErrorRecord* error) {
            return LibraryFolder::save(folder_, albumData, error);
          }) {}

ScriptOutcome IPhotoApplication::handle(std::string_view source) {
  ScriptOutcome outcome;
  bool quit = false;
  {
    std::lock_guard lock(libraryLock_);
    outcome = interpreter_.run(source);
    quit = interpreter_.takeQuitRequest();
  }
  if (!quit) return outcome;
  ErrorRecord error;
  if (!saver_.saveNow(&error))
    return ScriptOutcome::failure(kScriptHandlerFailedError,
                                  "Can't save the library: " + error.description());
  logInfo("quitting");
  quitting_ = true;
  return outcome;
}

bool IPhotoApplication::save(ErrorRecord* error) {
  return quitting_ || saver_.saveNow(error);
}

std::size_t IPhotoApplication::photoCount() {
  std::lock_guard lock(libraryLock_);
  return interpreter_.library().photoCount();
}

}  // namespace twinlens::standin
