#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/apple_event_descriptor.hpp"
#include "platform/plist_value.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// Asks iPhoto for its catalogue: the paths, titles and comments of every photo of the library
// album, which become a tree shaped like "AlbumData.xml" with a "Master Image List" only (no
// rolls, no albums). Used once, on the main thread, by Cataloger::readAlbumDataFromIPhoto.
class ReadAlbumDataScript {
 public:
  ReadAlbumDataScript() = default;

  // Runs the query and keeps the outcome: errorOccurred(), lastError(), albumDataPlist().
  void execute();
  // Runs the query through ScriptHost::standard() and rebuilds albumDataPlist(). Fails with
  // "AppleScriptErrorDomain" and the script error's number (as a signed 32-bit number) and
  // message, or with kScriptCorruptAnswerError when the answer is not a record of equally long
  // photo lists.
  [[nodiscard]] bool execute(ErrorRecord* error);

  bool errorOccurred() const { return errorOccurred_; }
  const std::optional<ErrorRecord>& lastError() const { return lastError_; }
  const PListValue::Dictionary& albumDataPlist() const { return albumDataPlist_; }

  static std::string source();

  // iPhoto's answer as album values, by the descriptor's type code: texts, booleans, integers
  // of each width, reals, enumeration and type codes as unsigned integers, null, lists, records
  // (their user-defined fields) and, for any other type, the raw bytes. nullopt for a record
  // with no items, which a list leaves out.
  static std::optional<PListValue> objectFromAppleEventDescriptor(
      const AppleEventDescriptor& descriptor);
  static PListValue arrayFromAppleEventDescriptor(const AppleEventDescriptor& descriptor);
  static std::optional<PListValue> dictionaryFromAppleEventDescriptor(
      const AppleEventDescriptor& descriptor);

 private:
  bool buildAlbumData(const std::optional<PListValue>& answer, ErrorRecord* error);

  PListValue::Dictionary albumDataPlist_;
  bool errorOccurred_ = false;
  std::optional<ErrorRecord> lastError_;
};

// The texts of a list descriptor's items 1 to n, in order; an item without a text value is left
// out. The sorted form orders them by case-insensitive comparison, equal ones keeping their order.
std::vector<std::string> listOfStringsToArray(const AppleEventDescriptor& list);
std::vector<std::string> listOfStringsToSortedArray(const AppleEventDescriptor& list);

}  // namespace twinlens
