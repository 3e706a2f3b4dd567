#include "iphoto_interpreter.hpp"

#include <set>

#include "iphoto_script.hpp"

namespace twinlens::standin {

IPhotoInterpreter::IPhotoInterpreter(IPhotoLibrary library, Commit commit)
    : library_(std::move(library)), commit_(std::move(commit)) {}

ScriptOutcome IPhotoInterpreter::run(std::string_view source) {
  ErrorRecord error;
  std::optional<IPhotoScript> script = IPhotoScript::parse(source, &error);
  if (!script) return ScriptOutcome::failure(error.code(), error.description());
  if (std::optional<ScriptOutcome> refusal = check(*script)) return std::move(*refusal);
  AppleEventDescriptor result = AppleEventDescriptor::null();
  std::optional<IPhotoLibrary> before;  // as it was before the first change, to undo it
  bool changed = false;
  using Kind = IPhotoCommand::Kind;
  for (const IPhotoCommand& command : script->commands()) {
    result = AppleEventDescriptor::null();
    switch (command.kind) {
      case Kind::Quit:
        quitRequested_ = true;
        break;
      case Kind::Activate:
        active_ = true;
        break;
      case Kind::SelectLibraryAlbum:
        libraryAlbumSelected_ = true;
        break;
      case Kind::SelectPhoto:
        selectedPhotoKey_ = library_.keyForPhotoId(*command.photoId);
        break;
      case Kind::RemovePhoto:
        if (!before) before = library_;
        changed |= library_.moveToTrash(*library_.keyForPhotoId(*command.photoId));
        break;
      case Kind::GetAlbumData:
        result = library_.albumDataAnswer();
        break;
    }
  }
  if (changed && commit_ && !commit_(&error)) {
    library_ = std::move(*before);
    return ScriptOutcome::failure(kScriptHandlerFailedError,
                                  "Can't save the library: " + error.description());
  }
  return ScriptOutcome::success(std::move(result));
}

std::optional<ScriptOutcome> IPhotoInterpreter::check(const IPhotoScript& script) const {
  std::set<std::string> removed;
  for (const IPhotoCommand& command : script.commands()) {
    if (command.kind != IPhotoCommand::Kind::SelectPhoto &&
        command.kind != IPhotoCommand::Kind::RemovePhoto)
      continue;
    std::optional<std::string> key =
        command.photoId ? library_.keyForPhotoId(*command.photoId) : std::nullopt;
    if (!key || removed.contains(*key))
      return ScriptOutcome::failure(kScriptCantGetObjectError,
                                    "Can't get photo id " + command.photoIdText + ".");
    if (command.kind == IPhotoCommand::Kind::RemovePhoto) removed.insert(*key);
  }
  return std::nullopt;
}

}  // namespace twinlens::standin
