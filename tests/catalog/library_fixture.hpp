#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "catalog/photo_library.hpp"
#include "io/data_input_stream.hpp"
#include "io/data_output_stream.hpp"
#include "support/scoped_env.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::testing {

// The documented encodings: big-endian integers and strings as a presence byte, a u64 count and
// the bytes.
struct DocBytes {
  Data data;
  DocBytes& u(std::uint64_t value, int width = 8) {
    for (int i = width - 1; i >= 0; --i)
      data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return *this;
  }
  DocBytes& raw(const Data& bytes) {
    data.insert(data.end(), bytes.begin(), bytes.end());
    return *this;
  }
  DocBytes& text(std::optional<std::string> value) {
    data.push_back(value ? 1 : 0);
    if (value) u(value->size()).data.insert(data.end(), value->begin(), value->end());
    return *this;
  }
};

// A photo record with a caption, a thumbnail beside its image, an aspect ratio and a roll.
inline std::shared_ptr<Photo> photoWith(const std::string& key, const std::string& imagePath,
                                        const std::string& caption = "caption") {
  auto photo = std::make_shared<Photo>(key);
  photo->setFromPlist(PListValue::dictionary({{"ImagePath", PListValue::text(imagePath)},
                                              {"Caption", PListValue::text(caption)},
                                              {"ThumbPath", PListValue::text(imagePath + ".t")},
                                              {"Aspect Ratio", PListValue::real(1.5)},
                                              {"Roll", PListValue::integer(3)}}));
  return photo;
}

// Points the user's data folder at a fresh temporary folder for one test, so caches never land
// in the real home folder, and puts the old setting back afterwards.
class LibraryTest : public ::testing::Test {
 protected:
  const TempDir& dir() const { return dir_; }
  std::string dataHome() const { return dir_.file("data"); }

  static Data bytesOf(const PhotoLibrary& library) {
    auto block = std::make_shared<Data>();
    BufferedOutputStream stream(std::make_shared<DataOutputStream>(block));
    EXPECT_TRUE(library.writeToStream(stream));
    EXPECT_TRUE(stream.flush());
    return *block;
  }

  // A library at "/lib" loaded from bytes, or null with *error.
  static std::shared_ptr<PhotoLibrary> load(const Data& bytes, ErrorRecord* error = nullptr) {
    auto library =
        std::make_shared<PhotoLibrary>("/lib", std::vector<std::shared_ptr<Photo>>(), std::nullopt);
    BufferedInputStream stream(std::make_shared<DataInputStream>(bytes));
    if (!library->loadFromStream(stream, error)) return nullptr;
    return library;
  }

 private:
  TempDir dir_;
  ScopedEnv dataHome_{"XDG_DATA_HOME", dir_.file("data").c_str()};
};

}  // namespace twinlens::testing
