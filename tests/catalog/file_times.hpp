#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "sample/jpeg_builder.hpp"

namespace twinlens::testing {

// Sets a file's modification and access times to the nanosecond.
inline void setFileTime(const std::string& path, std::int64_t sec, std::int64_t nsec = 0) {
  const timespec times[2] = {{static_cast<time_t>(sec), static_cast<long>(nsec)},
                             {static_cast<time_t>(sec), static_cast<long>(nsec)}};
  EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

inline timespec mtimeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mtim;
}

// Overwrites a file with another photo's bytes of the same length and puts its time back, so
// only a read of the file can tell that it changed.
inline void replaceKeepingStat(const std::string& path, std::uint32_t seed) {
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0) << path;
  Data other = sample::samplePhoto(seed, 3000, "Camera " + std::to_string(seed));
  other.resize(static_cast<std::size_t>(info.st_size), 0);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(other.data()),
             static_cast<std::streamsize>(other.size()));
  setFileTime(path, info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

}  // namespace twinlens::testing
