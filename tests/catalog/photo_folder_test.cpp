#include "catalog/photo_folder.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "catalog/photo_file_type.hpp"
#include "sample/jpeg_builder.hpp"
#include "shared/logging.hpp"
#include "support/log_capture.hpp"
#include "support/temp_dir.hpp"

namespace twinlens {
namespace {

using testing::LogCapture;
using testing::TempDir;

std::string ftyp(const char* brand) {
  return std::string("\0\0\0\030ftyp", 8) + brand;
}

TEST(PhotoFileType, NeedsAPhotoExtensionAndAPhotoHead) {
  using namespace std::string_literals;
  const std::string jpeg = "\xff\xd8\xff\xe0"s, png = "\x89PNG\r\n\x1a\n"s;
  const struct {
    std::string name;
    std::string head;
    const char* type;  // empty: not a photo
  } cases[] = {
      {"a.jpg", jpeg, "JPEG"},
      {"a.JPEG", jpeg, "JPEG"},
      {"a.png", jpeg, "JPEG"},  // a misnamed JPEG is still a photo
      {"a.png", png, "PNG"},
      {"a.png", png.substr(0, 7), ""},
      {"a.gif", "GIF89a", "GIF"},
      {"a.webp", "RIFF\0\0\0\0WEBPVP8 "s, "WebP"},
      {"a.heic", ftyp("heic"), "HEIF"},
      {"a.cr3", ftyp("crx "), "RAW"},
      {"a.nef", "II*\0"s, "TIFF"},
      {"a.dng", "MM\0*"s, "TIFF"},
      {"a.orf", "IIRO", "RAW"},
      {"a.rw2", "IIU\0"s, "RAW"},
      {"a.raf", "FUJIFILMCCD-RAW 0201", "RAW"},
      {"a.heic", ftyp("isom"), ""},
      {"a.mp4", ftyp("heic"), ""},
      {"a.txt", jpeg, ""},
      {"jpg", jpeg, ""},
      {".jpg", jpeg, ""},
      {"a.jpg", "\xff\xd8"s, ""},
      {"a.jpg", "hello, world", ""},
      {"a.gif", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " " + c.head);
    auto head = std::span(reinterpret_cast<const unsigned char*>(c.head.data()), c.head.size());
    std::optional<PhotoFileType> type = photoFileTypeOfContent(head);
    EXPECT_EQ(hasPhotoExtension(c.name) && type ? photoFileTypeName(*type) : "", c.type);
  }
}

TEST(PhotoFolder, KeysAreTheRelativePathsInUTF8WithOtherBytesEscaped) {
  const std::pair<std::string, std::string> cases[] = {{"a/b.jpg", "a/b.jpg"},
                                                       {"100%.jpg", "100%25.jpg"},
                                                       {"\xff.jpg", "%FF.jpg"},
                                                       {"caf\xc3\xa9.jpg", "caf\xc3\xa9.jpg"},
                                                       {"cut\xc3.jpg", "cut%C3.jpg"},
                                                       {"\xed\xa0\x80", "%ED%A0%80"},
                                                       {"new\nline.jpg", "new\nline.jpg"}};
  for (const auto& [path, key] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(PhotoFolder::photoKeyForRelativePath(path), key);
  }
}

// Nested folders whose full paths outgrow PATH_MAX: the walk can open neither the deepest folder
// nor the file beside it, whoever runs it. Removed by `rm -rf`, which walks any depth.
struct TooDeep {
  TooDeep(const std::string& root, const Data& photo) : top(root + "/deep") {
    EXPECT_EQ(::mkdir(top.c_str(), 0755), 0);
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string name(200, 'd');
    for (std::size_t length = top.size(); length + 201 < PATH_MAX; length += 201) {
      ::mkdirat(fd, name.c_str(), 0755);
      const int inner = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = inner;
    }
    const int file =
        ::openat(fd, std::string(240, 'f').append(".jpg").c_str(), O_WRONLY | O_CREAT, 0644);
    EXPECT_EQ(::write(file, photo.data(), photo.size()), static_cast<ssize_t>(photo.size()));
    EXPECT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
    for (int open : {file, fd}) ::close(open);
  }
  ~TooDeep() { EXPECT_EQ(std::system(("rm -rf '" + top + "'").c_str()), 0); }
  std::string top;
};

TEST(PhotoFolder, TakesPhotoFilesOnlyAndSkipsWhatItCannotRead) {
  TempDir dir;
  const Data photo = sample::samplePhoto(1, 500, "Camera");
  for (const char* name : {"a.jpg", "misnamed.png", "b\xff.jpg", "new\nline.jpg", ".hidden/d.jpg",
                           ".e.jpg", "notes.txt"})
    dir.write(name, photo);
  dir.write("sub/c.HEIC", ftyp("heic"));
  dir.write("fake.jpg", std::string("not a photo at all"));
  ASSERT_EQ(::symlink("a.jpg", dir.file("link.jpg").c_str()), 0);
  ASSERT_EQ(::symlink("sub", dir.file("linked").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);
  TooDeep deep(dir.path(), photo);

  LogCapture capture(kLogLevelWarn);
  const PhotoFolder folder(dir.path());
  std::optional<std::vector<PhotoFolder::File>> files = folder.photoFiles();
  ASSERT_TRUE(files);
  RollNames rolls;
  std::vector<std::string> keys;
  for (const auto& record : folder.photosToProcess(*files, nullptr, rolls))
    keys.push_back(record->iPhotoKey());
  EXPECT_EQ(keys, (std::vector<std::string>{"a.jpg", "b%FF.jpg", "misnamed.png", "new\nline.jpg",
                                            "sub/c.HEIC"}));
  EXPECT_EQ(capture.linesStartingWith("WARN").size(), 2u) << "the deepest folder and file";
  EXPECT_EQ(rolls, (RollNames{{1, "."}, {2, "sub"}}));

  ErrorRecord error;
  EXPECT_FALSE(PhotoFolder(dir.file("a.jpg")).photoFiles(nullptr, &error));
  EXPECT_TRUE(error.isErrorWithDomain("UnixErrorDomain", ENOTDIR)) << error.description();
}

}  // namespace
}  // namespace twinlens
