#include "catalog/match_reason.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <string>

#include "io/file_helpers.hpp"

namespace twinlens {

namespace {

// The SHA-1 text of no bytes matches nothing when sets are made, so it counts for no reason.
constexpr std::string_view kSHA1OfNoBytes = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

struct MatchedFile {
  const std::optional<std::string>* sha1;
  const std::optional<std::string>* path;
  std::uint64_t size;
};

MatchedFile matchedFile(const Photo& photo, bool byOriginal) {
  if (byOriginal) return {&photo.originalSHA1(), &photo.originalPath(), photo.originalFileSize()};
  return {&photo.modifiedSHA1(), &photo.modifiedPath(), photo.modifiedFileSize()};
}

// Reads up to `length` bytes, fewer only at the end of the file; -1 on a read error.
ssize_t readFully(int fd, char* buffer, std::size_t length) {
  std::size_t got = 0;
  while (got < length) {
    const ssize_t n = ::read(fd, buffer + got, length - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool sameBytes(const std::string& first, const std::string& second) {
  const int a = openRegularFileForReading(first);
  const int b = a < 0 ? -1 : openRegularFileForReading(second);
  bool same = b >= 0;
  static constexpr std::size_t kChunk = 64 * 1024;
  std::string left(kChunk, '\0'), right(kChunk, '\0');
  while (same) {
    const ssize_t n = readFully(a, left.data(), kChunk);
    const ssize_t m = readFully(b, right.data(), kChunk);
    same = n == m && n >= 0 && std::equal(left.begin(), left.begin() + n, right.begin());
    if (n <= 0) break;
  }
  for (int fd : {a, b})
    if (fd >= 0) ::close(fd);
  return same;
}

bool sameFile(const MatchedFile& file, const MatchedFile& kept) {
  if (!*file.sha1 || !*kept.sha1 || **file.sha1 != **kept.sha1 || file.size != kept.size ||
      !*file.path || !*kept.path)
    return false;
  return **file.path == **kept.path || sameBytes(**file.path, **kept.path);
}

}  // namespace

std::vector<MatchReason> explainMatches(const std::vector<std::shared_ptr<Photo>>& set) {
  std::map<std::string_view, int> carriers;
  for (const std::shared_ptr<Photo>& photo : set) {
    const auto& o = photo->originalSHA1();
    const auto& m = photo->modifiedSHA1();
    if (o && *o != kSHA1OfNoBytes) ++carriers[*o];
    if (m && *m != kSHA1OfNoBytes && m != o) ++carriers[*m];
  }
  std::vector<MatchReason> reasons;
  reasons.reserve(set.size());
  std::optional<MatchedFile> kept;
  for (const std::shared_ptr<Photo>& photo : set) {
    const auto& o = photo->originalSHA1();
    MatchReason reason;
    reason.byOriginal = o && carriers[*o] > 1;
    const MatchedFile file = matchedFile(*photo, reason.byOriginal);
    reason.sameFile = kept ? sameFile(file, *kept) : true;
    if (!kept) kept = file;
    reasons.push_back(reason);
  }
  return reasons;
}

}  // namespace twinlens
