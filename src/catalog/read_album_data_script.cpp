#include "catalog/read_album_data_script.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/apple_script_failure.hpp"
#include "platform/script_host.hpp"
#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens {

namespace {

std::string shortestText(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

// "a text unchanged, a number as its decimal digits"; nullopt for what has no text form.
std::optional<std::string> textForm(const PListValue& value) {
  if (const std::string* text = value.textValue()) return *text;
  if (std::optional<std::int64_t> integer = value.integerValue())
    return formatText("%lld", static_cast<long long>(*integer));
  if (std::optional<double> real = value.realValue()) return shortestText(*real);
  if (std::optional<bool> flag = value.booleanValue()) return std::string(*flag ? "1" : "0");
  return std::nullopt;
}

// The photo key of an identifier: its low 32 bits, as an unsigned decimal. iPhoto's identifiers
// lie above 2 to the 32nd power, so they come as reals or as 64-bit integers.
std::optional<std::string> photoKeyOfIdentifier(const PListValue& id) {
  std::optional<std::int64_t> whole = id.integerValue();
  if (!whole) {
    std::optional<double> real = id.realValue();
    if (!real || !(std::fabs(*real) < 9.2e18)) return std::nullopt;
    whole = static_cast<std::int64_t>(*real);
  }
  return formatText("%u", static_cast<unsigned>(static_cast<std::uint32_t>(*whole)));
}

// The fields of the answer, one list per field with one element per photo.
struct PhotoLists {
  std::size_t count = 0;
  const PListValue::Array* ids = nullptr;
  const PListValue::Array* imagePaths = nullptr;
  const PListValue::Array* originalPaths = nullptr;
  const PListValue::Array* thumbPaths = nullptr;
  const PListValue::Array* captions = nullptr;
  const PListValue::Array* comments = nullptr;
};

// Finds the lists in the answer's fields; what is wrong with them when they are not all there.
// No "_ImagePath" list at all means no photos, as a record without items does.
std::optional<std::string> readPhotoLists(const PListValue::Dictionary& fields, PhotoLists* lists) {
  auto list = [&fields](const char* name) -> const PListValue::Array* {
    auto found = fields.find(name);
    return found == fields.end() ? nullptr : found->second.arrayValue();
  };
  if (!fields.contains("_ImagePath")) return std::nullopt;
  lists->imagePaths = list("_ImagePath");
  if (!lists->imagePaths) return "_ImagePath is not a list";
  lists->count = lists->imagePaths->size();
  const std::pair<const char*, const PListValue::Array**> others[] = {
      {"_Id", &lists->ids},
      {"_OriginalPath", &lists->originalPaths},
      {"_ThumbPath", &lists->thumbPaths},
      {"_Caption", &lists->captions},
      {"_Comment", &lists->comments},
  };
  for (const auto& [name, place] : others) {
    *place = list(name);
    if (lists->count > 0 && (!*place || (*place)->size() < lists->count))
      return formatText("%s is not a list of %zu items", name, lists->count);
  }
  return std::nullopt;
}

// The image list's entry of photo `i` under its key; nullopt when a field has no text form.
std::optional<PListValue::Dictionary::value_type> photoEntry(const PhotoLists& lists,
                                                             std::size_t i) {
  std::optional<std::string> key = photoKeyOfIdentifier((*lists.ids)[i]);
  std::optional<std::string> imagePath = textForm((*lists.imagePaths)[i]);
  std::optional<std::string> originalPath = textForm((*lists.originalPaths)[i]);
  std::optional<std::string> thumbPath = textForm((*lists.thumbPaths)[i]);
  std::optional<std::string> caption = textForm((*lists.captions)[i]);
  std::optional<std::string> comment = textForm((*lists.comments)[i]);
  if (!key || !imagePath || !originalPath || !thumbPath || !caption || !comment)
    return std::nullopt;
  PListValue::Dictionary::Entries entry{
      {"Caption", PListValue::text(std::move(*caption))},
      {"Comment", PListValue::text(std::move(*comment))},
      {"ImagePath", PListValue::text(std::move(*imagePath))},
      {"ThumbPath", PListValue::text(std::move(*thumbPath))},
  };
  // An unedited photo has no original apart from its image.
  if (!originalPath->empty())
    entry.emplace_back("OriginalPath", PListValue::text(std::move(*originalPath)));
  return PListValue::Dictionary::value_type(
      std::move(*key), PListValue::dictionary(PListValue::Dictionary(std::move(entry))));
}

}  // namespace

std::string ReadAlbumDataScript::source() {
  return "                              tell application \"iPhoto\"\n"
         "                              select photo library album\n"
         "                              get {_Id:id, _ImagePath:image path, "
         "_OriginalPath:original path, _ThumbPath:thumbnail path, _Caption:title, "
         "_Comment:comment, _Date:date} of every photo in photo library album\n"
         "                              end tell\n";
}

void ReadAlbumDataScript::execute() {
  ErrorRecord error;
  errorOccurred_ = !execute(&error);
  if (errorOccurred_) lastError_ = std::move(error);
}

bool ReadAlbumDataScript::execute(ErrorRecord* error) {
  const std::string text = source();
  TL_LOG_DEBUG(this, "script: %s", text.c_str());
  ScriptOutcome outcome = ScriptHost::standard().executeSource(text);
  if (!outcome.succeeded()) {
    AppleScriptFailure failure = AppleScriptFailure::of(outcome);
    TL_SET_ERROR(error, this, kAppleScriptErrorDomain, static_cast<std::int32_t>(failure.number),
                 "%s", failure.message.c_str());
    return false;
  }
  return buildAlbumData(objectFromAppleEventDescriptor(*outcome.result), error);
}

bool ReadAlbumDataScript::buildAlbumData(const std::optional<PListValue>& answer,
                                         ErrorRecord* error) {
  auto malformed = [&](const std::string& reason) {
    TL_SET_ERROR(error, this, kAppleScriptErrorDomain, kScriptCorruptAnswerError,
                 "iPhoto's answer to the album data query is malformed: %s", reason.c_str());
    return false;
  };
  // A record without items is how an empty library may answer.
  const PListValue::Dictionary noFields;
  const PListValue::Dictionary* fields = answer ? answer->dictionaryValue() : &noFields;
  if (!fields) return malformed("it is not a record");
  PhotoLists lists;
  if (std::optional<std::string> wrong = readPhotoLists(*fields, &lists)) return malformed(*wrong);

  PListValue::Dictionary::Entries images;
  images.reserve(lists.count);
  for (std::size_t i = 0; i < lists.count; ++i) {
    std::optional<PListValue::Dictionary::value_type> entry = photoEntry(lists, i);
    if (!entry)
      return malformed(formatText("photo %zu has a field that is neither a text nor a number", i));
    images.push_back(std::move(*entry));
  }
  // Of two photos with one key the later wins, as the dictionary keeps the last of equal keys.
  albumDataPlist_ = PListValue::Dictionary{
      {"Master Image List", PListValue::dictionary(PListValue::Dictionary(std::move(images)))}};
  return true;
}

std::optional<PListValue> ReadAlbumDataScript::objectFromAppleEventDescriptor(
    const AppleEventDescriptor& descriptor) {
  const Data& bytes = descriptor.data();
  switch (descriptor.descriptorType()) {
    case fourCharCode("TEXT"):
    case fourCharCode("utxt"):
      return PListValue::text(descriptor.stringValue().value_or(""));
    case fourCharCode("bool"):
      return PListValue::boolean(descriptor.booleanValue());
    case fourCharCode("true"):
      return PListValue::boolean(true);
    case fourCharCode("fals"):
      return PListValue::boolean(false);
    case fourCharCode("shor"):
      return PListValue::integer(static_cast<std::int16_t>(descriptor.int32Value() & 0xffff));
    case fourCharCode("long"):
    case fourCharCode("comp"):
      return PListValue::integer(descriptor.int32Value());
    case fourCharCode("magn"):
      return PListValue::integer(static_cast<std::uint32_t>(descriptor.int32Value()));
    case fourCharCode("doub"): {
      // Too short to hold a double: kept as the bytes it is, like any unknown type.
      if (bytes.size() < sizeof(double)) return PListValue::data(bytes);
      double value;
      std::memcpy(&value, bytes.data(), sizeof value);
      return PListValue::real(value);
    }
    case fourCharCode("enum"):
    case fourCharCode("type"):
      return PListValue::integer(descriptor.enumCodeValue());
    case fourCharCode("null"):
      return PListValue::null();
    case fourCharCode("list"):
      return arrayFromAppleEventDescriptor(descriptor);
    case fourCharCode("reco"):
      return dictionaryFromAppleEventDescriptor(descriptor);
    default:
      return PListValue::data(bytes);
  }
}

PListValue ReadAlbumDataScript::arrayFromAppleEventDescriptor(
    const AppleEventDescriptor& descriptor) {
  PListValue::Array items;
  items.reserve(descriptor.numberOfItems());
  for (const AppleEventDescriptor& item : descriptor.items())
    if (std::optional<PListValue> value = objectFromAppleEventDescriptor(item))
      items.push_back(std::move(*value));
  return PListValue::array(std::move(items));
}

std::optional<PListValue> ReadAlbumDataScript::dictionaryFromAppleEventDescriptor(
    const AppleEventDescriptor& descriptor) {
  if (descriptor.numberOfItems() == 0) return std::nullopt;
  const AppleEventDescriptor& userFields = descriptor.items().back();
  PListValue::Dictionary::Entries entries;
  for (std::size_t i = 1; i <= userFields.numberOfItems(); i += 2) {
    const AppleEventDescriptor* label = userFields.descriptorAtIndex(i);
    const AppleEventDescriptor* value = userFields.descriptorAtIndex(i + 1);
    std::optional<std::string> key = label ? label->stringValue() : std::nullopt;
    std::optional<PListValue> converted =
        key && value ? objectFromAppleEventDescriptor(*value) : std::nullopt;
    if (converted) entries.emplace_back(std::move(*key), std::move(*converted));
  }
  return PListValue::dictionary(PListValue::Dictionary(std::move(entries)));
}

std::vector<std::string> listOfStringsToArray(const AppleEventDescriptor& list) {
  std::vector<std::string> texts;
  texts.reserve(list.numberOfItems());
  for (const AppleEventDescriptor& item : list.items())
    if (std::optional<std::string> text = item.stringValue()) texts.push_back(std::move(*text));
  return texts;
}

std::vector<std::string> listOfStringsToSortedArray(const AppleEventDescriptor& list) {
  std::vector<std::string> texts = listOfStringsToArray(list);
  auto lower = [](unsigned char c) { return static_cast<char>(std::tolower(c)); };
  std::stable_sort(texts.begin(), texts.end(), [&](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [&](char x, char y) { return lower(x) < lower(y); });
  });
  return texts;
}

}  // namespace twinlens
