#pragma once

#include <string>

#include "shared/data.hpp"

namespace twinlens::testing {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string file(const std::string& name) const;
  // Writes `bytes` to file(name), making parent folders; returns the full path.
  std::string write(const std::string& name, const Data& bytes) const;
  std::string write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

Data readFileBytes(const std::string& path);

}  // namespace twinlens::testing
