#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "iphoto_library.hpp"
#include "library_folder.hpp"
#include "platform/apple_event_descriptor.hpp"
#include "platform/plist_reader.hpp"
#include "platform/plist_value.hpp"
#include "support/temp_dir.hpp"

namespace twinlens::standin::testing {

// A small catalogue with a photo in two albums (twice in one), an unedited photo, keys the
// stand-in does not know, dates and data, and an album list item that is no album.
inline PListValue photoEntry(const std::string& name, bool edited, double date) {
  PListValue::Dictionary entry{
      {"Caption", PListValue::text("Caption " + name)},
      {"Comment", PListValue::text("Comment " + name)},
      {"ImagePath", PListValue::text("/lib/Modified/" + name + ".jpg")},
      {"ThumbPath", PListValue::text("/lib/Data/" + name + ".jpg")},
      {"DateAsTimerInterval", PListValue::real(date)},
      {"GUID", PListValue::text("guid-" + name)},
      {"Taken", PListValue::date(Date::withTimeIntervalSince1970(1245320791))},
  };
  if (edited) entry.insert_or_assign("OriginalPath", PListValue::text("/lib/Originals/" + name));
  return PListValue::dictionary(std::move(entry));
}

inline PListValue keyList(std::initializer_list<const char*> keys) {
  PListValue::Array items;
  for (const char* key : keys) items.push_back(PListValue::text(key));
  return PListValue::array(std::move(items));
}

inline PListValue smallCatalogue() {
  return PListValue::dictionary({
      {"Application Version", PListValue::text("8.1.2 (424)")},
      {"Archive Path", PListValue::text("/lib")},
      {"Opaque", PListValue::data(Data{0xDE, 0xAD, 0xBE, 0xEF})},
      {"Master Image List", PListValue::dictionary({
                                {"12", photoEntry("twelve", true, 100.5)},
                                {"30", photoEntry("thirty", false, 200)},
                                {"7", photoEntry("seven", false, 300)},
                            })},
      {"List of Rolls", PListValue::array({
                            PListValue::dictionary({{"RollID", PListValue::integer(1)},
                                                    {"KeyList", keyList({"7", "12"})},
                                                    {"PhotoCount", PListValue::integer(2)}}),
                            PListValue::dictionary({{"RollID", PListValue::integer(2)},
                                                    {"KeyList", keyList({"30"})},
                                                    {"PhotoCount", PListValue::integer(1)}}),
                        })},
      {"List of Albums", PListValue::array({
                             PListValue::dictionary({{"AlbumName", PListValue::text("Library")},
                                                     {"Master", PListValue::boolean(true)},
                                                     {"KeyList", keyList({"7", "12", "30"})},
                                                     {"PhotoCount", PListValue::integer(3)}}),
                             PListValue::dictionary({{"AlbumName", PListValue::text("Twice")},
                                                     {"KeyList", keyList({"12", "30", "12"})}}),
                             PListValue::text("not an album"),
                         })},
  });
}

// The value under `label` among a record's user fields.
inline const AppleEventDescriptor* userField(const AppleEventDescriptor& record,
                                             const std::string& label) {
  const AppleEventDescriptor* fields = record.descriptorAtIndex(record.numberOfItems());
  if (!fields) return nullptr;
  for (std::size_t i = 1; i + 1 <= fields->numberOfItems(); i += 2)
    if (fields->descriptorAtIndex(i)->stringValue() == label)
      return fields->descriptorAtIndex(i + 1);
  return nullptr;
}

inline double realOf(const AppleEventDescriptor& descriptor) {
  double value = 0;
  if (descriptor.data().size() == sizeof value)
    std::memcpy(&value, descriptor.data().data(), sizeof value);
  return value;
}

// The catalogue of the library in `folder`, as read.
inline PListValue catalogueOf(const std::string& folder) {
  ErrorRecord error;
  std::optional<PListValue> root =
      PListReader::parseFile(LibraryFolder::albumDataPath(folder), &error);
  EXPECT_TRUE(root) << error.description();
  return root ? *root : PListValue::text("unreadable");
}

// Every file of the folder but the catalogue, with its bytes.
inline std::map<std::string, Data> imageFiles(const std::string& folder) {
  std::map<std::string, Data> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "AlbumData.xml")
      files[entry.path().string()] = twinlens::testing::readFileBytes(entry.path().string());
  return files;
}

inline std::string idOf(const std::string& key) {
  return std::to_string(IPhotoLibrary::photoIdForKey(key));
}

}  // namespace twinlens::standin::testing
