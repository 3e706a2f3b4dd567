// make-sample-photos DIR: writes a handful of JPEG-shaped sample photos into DIR, among them
// copies that differ from their original only in metadata (EXIF, comments), for the demo.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sample/jpeg_builder.hpp"

namespace {

using twinlens::Data;
using twinlens::sample::JpegBuilder;
using twinlens::sample::samplePhoto;

bool writeFile(const std::filesystem::path& path, const Data& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

Data withComment(std::uint32_t seed, std::size_t size, const std::string& text) {
  return JpegBuilder()
      .startOfImage()
      .jfif()
      .exif("Camera One")
      .comment(text)
      .tables(640, 480)
      .scan(size, seed)
      .endOfImage()
      .bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-photos DIR\n");
    return 2;
  }
  std::filesystem::path dir(argv[1]);
  std::filesystem::create_directories(dir);
  Data cut = samplePhoto(4, 30000, "Camera One");
  cut.resize(cut.size() / 2);
  const std::pair<const char*, Data> files[] = {
      {"IMG_0001.JPG", samplePhoto(1, 60000, "Camera One")},
      {"IMG_0001 (EXIF edited).JPG",
       samplePhoto(1, 60000, "Camera One, retouched date 2026:12:06")},
      {"IMG_0001 (commented).JPG", withComment(1, 60000, "Holiday, best shot")},
      {"IMG_0002.JPG", samplePhoto(2, 80000, "Camera Two", /*progressive=*/true)},
      {"IMG_0002 (EXIF edited).JPG", samplePhoto(2, 80000, "Camera Two, GPS removed", true)},
      {"IMG_0003.JPG", samplePhoto(3, 40000, "Camera One")},
      {"IMG_0004 (cut short).JPG", cut},
  };
  for (const auto& [name, bytes] : files) {
    if (!writeFile(dir / name, bytes)) {
      std::fprintf(stderr, "make-sample-photos: cannot write %s\n", (dir / name).c_str());
      return 1;
    }
  }
  return 0;
}
