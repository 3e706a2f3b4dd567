#pragma once

#include <cstring>
#include <optional>
#include <string>

#include "platform/album_value.hpp"
#include "platform/apple_event_descriptor.hpp"

namespace twinlens::standin::testing {

// A small catalogue with a photo in two albums (twice in one), an unedited photo, keys the
// stand-in does not know, dates and data, and an album list item that is no album.
inline AlbumValue photoEntry(const std::string& name, bool edited, double date) {
  AlbumValue::Dictionary entry{
      {"Caption", AlbumValue::text("Caption " + name)},
      {"Comment", AlbumValue::text("Comment " + name)},
      {"ImagePath", AlbumValue::text("/lib/Modified/" + name + ".jpg")},
      {"ThumbPath", AlbumValue::text("/lib/Data/" + name + ".jpg")},
      {"DateAsTimerInterval", AlbumValue::real(date)},
      {"GUID", AlbumValue::text("guid-" + name)},
      {"Taken", AlbumValue::date(Date::withTimeIntervalSince1970(1245320791))},
  };
  if (edited) entry.insert_or_assign("OriginalPath", AlbumValue::text("/lib/Originals/" + name));
  return AlbumValue::dictionary(std::move(entry));
}

inline AlbumValue keyList(std::initializer_list<const char*> keys) {
  AlbumValue::Array items;
  for (const char* key : keys) items.push_back(AlbumValue::text(key));
  return AlbumValue::array(std::move(items));
}

inline AlbumValue smallCatalogue() {
  return AlbumValue::dictionary({
      {"Application Version", AlbumValue::text("8.1.2 (424)")},
      {"Archive Path", AlbumValue::text("/lib")},
      {"Opaque", AlbumValue::data(Data{0xDE, 0xAD, 0xBE, 0xEF})},
      {"Master Image List", AlbumValue::dictionary({
                                {"12", photoEntry("twelve", true, 100.5)},
                                {"30", photoEntry("thirty", false, 200)},
                                {"7", photoEntry("seven", false, 300)},
                            })},
      {"List of Rolls", AlbumValue::array({
                            AlbumValue::dictionary({{"RollID", AlbumValue::integer(1)},
                                                    {"KeyList", keyList({"7", "12"})},
                                                    {"PhotoCount", AlbumValue::integer(2)}}),
                            AlbumValue::dictionary({{"RollID", AlbumValue::integer(2)},
                                                    {"KeyList", keyList({"30"})},
                                                    {"PhotoCount", AlbumValue::integer(1)}}),
                        })},
      {"List of Albums", AlbumValue::array({
                             AlbumValue::dictionary({{"AlbumName", AlbumValue::text("Library")},
                                                     {"Master", AlbumValue::boolean(true)},
                                                     {"KeyList", keyList({"7", "12", "30"})},
                                                     {"PhotoCount", AlbumValue::integer(3)}}),
                             AlbumValue::dictionary({{"AlbumName", AlbumValue::text("Twice")},
                                                     {"KeyList", keyList({"12", "30", "12"})}}),
                             AlbumValue::text("not an album"),
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

}  // namespace twinlens::standin::testing
