#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "shared/error_record.hpp"

namespace twinlens {

inline constexpr const char* kFileErrorDomain = "FileErrorDomain";
// Its one code: the parent of a path exists and is not a folder.
inline constexpr std::int32_t kFileParentNotFolderError = -1;

// Path texts, taken apart as the platform's path strings are: trailing slashes do not count,
// and "/" stays "/". "/a/b.dat" gives "/a" and "b.dat"; "/a" gives "/" and "a"; "b.dat" gives ""
// and "b.dat".
std::string stringByDeletingLastPathComponent(std::string_view path);
std::string lastPathComponent(std::string_view path);

// True when `mode` is a regular file's; otherwise false with "UnixErrorDomain" EISDIR for a
// folder, EINVAL for anything else (a named pipe, a device, a socket, a symbolic link), and
// "%@ is not a regular file".
[[nodiscard]] bool isRegularFileMode(const std::string& path, mode_t mode,
                                     ErrorRecord* error = nullptr);

// Opens a regular file read-only (close-on-exec, plus `flags` such as O_NOFOLLOW), the way every
// file that outside hands may have replaced is opened: the open never waits, so a named pipe or
// a device in the file's place is refused (isRegularFileMode's record) instead of hanging the
// reader. The descriptor, blocking again, or -1: a failed open is "UnixErrorDomain" errno with
// the system's text alone.
int openRegularFileForReading(const std::string& path, int flags = 0, ErrorRecord* error = nullptr);

// Makes sure the folder that holds `path` exists, creating it and every missing folder above it
// (default permissions). True when it exists or was made (a symbolic link to a folder counts; a
// path without folder part means the current folder). Fails with "FileErrorDomain" -1 "parent
// path %@ exists and is not a directory" when something else is there, or with
// "UnixErrorDomain" errno "mkdir(%@): %s" naming the folder that could not be made.
[[nodiscard]] bool ensureParentPathExistsForPath(const std::string& path,
                                                 ErrorRecord* error = nullptr);
// The same, making missing folders with `mode` (narrowed by the file-creation mask).
[[nodiscard]] bool ensureParentPathExistsForPath(const std::string& path, mode_t mode,
                                                 ErrorRecord* error = nullptr);

// Sets the access and modification times of what is at `path` to now, in whole seconds, or
// creates an empty file there (permissions 0777 narrowed by the file-creation mask). Fails with
// "UnixErrorDomain" errno: "utimes(%@): %s" for an existing file, "%s" when it cannot be created.
[[nodiscard]] bool touchFileAtPath(const std::string& path, ErrorRecord* error = nullptr);
// The same, creating a missing file with `mode` (narrowed by the file-creation mask).
[[nodiscard]] bool touchFileAtPath(const std::string& path, mode_t mode,
                                   ErrorRecord* error = nullptr);

// `path` made absolute against the current folder and normalised by its text alone (symbolic
// links are not followed): no "." or ".." components, no doubled or trailing slashes. So "." and
// "/a/b/../c/" give the current folder and "/a/c".
std::string absoluteNormalPath(std::string_view path);

// Makes a new folder from `templatePath`, whose trailing X characters mkdtemp replaces. Sets
// *createdDirectory to absent first, then to the new folder's path. Fails with
// "UnixErrorDomain" errno "mkdtemp(%@): %s".
[[nodiscard]] bool createUniqueTempDirectoryWithTemplate(
    const std::string& templatePath, std::optional<std::string>* createdDirectory,
    ErrorRecord* error = nullptr);

// `path` when nothing is there (not even a dangling symbolic link), else the first free
// "stem_k.ext" for k = 2, 3, ... The extension is a final dot and one or more of [A-Za-z0-9_];
// a path without one (or with only a leading dot) takes the suffix at its end: README_2.
std::string stringWithUniquePath(const std::string& path);

}  // namespace twinlens
