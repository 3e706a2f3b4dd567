#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/data.hpp"

namespace twinlens {

// Apple's four-character type codes, packed big-end first: 'utxt' is 0x75747874.
using FourCharCode = std::uint32_t;
constexpr FourCharCode fourCharCode(const char (&code)[5]) {
  return (FourCharCode(std::uint8_t(code[0])) << 24) | (FourCharCode(std::uint8_t(code[1])) << 16) |
         (FourCharCode(std::uint8_t(code[2])) << 8) | FourCharCode(std::uint8_t(code[3]));
}
// The four characters of a code, printable ones as they are and others as "\xNN".
std::string fourCharCodeText(FourCharCode code);

// One value of a script's answer, as the script host hands it over: a type code and either a
// block of bytes (texts, numbers, enumerations, raw data) or a list of items (the types 'list'
// and 'reco'). Texts are UTF-8; numbers are in the machine's byte order. A record's last item is
// the list of its user-defined fields, label and value taking turns.
class AppleEventDescriptor {
 public:
  AppleEventDescriptor(FourCharCode type, Data bytes);

  static AppleEventDescriptor text(std::string_view utf8);                      // 'utxt'
  static AppleEventDescriptor int32(std::int32_t value);                        // 'long'
  static AppleEventDescriptor real(double value);                               // 'doub'
  static AppleEventDescriptor boolean(bool value);                              // 'bool', one byte
  static AppleEventDescriptor enumerated(FourCharCode code);                    // 'enum'
  static AppleEventDescriptor typeCode(FourCharCode code);                      // 'type'
  static AppleEventDescriptor null();                                           // 'null', no bytes
  static AppleEventDescriptor list(std::vector<AppleEventDescriptor> items);    // 'list'
  static AppleEventDescriptor record(std::vector<AppleEventDescriptor> items);  // 'reco'
  // A descriptor of any type that holds items, as decoded answers may have.
  static AppleEventDescriptor withItems(FourCharCode type, std::vector<AppleEventDescriptor> items);
  // A 'reco' whose one item is the 'list' of the fields' labels ('utxt') and values, in turn.
  static AppleEventDescriptor recordWithUserFields(
      std::vector<std::pair<std::string, AppleEventDescriptor>> fields);

  FourCharCode descriptorType() const { return type_; }
  // The bytes of a descriptor that has no items; empty for lists and records.
  const Data& data() const { return data_; }
  // Whether this descriptor holds items rather than bytes.
  bool hasItems() const { return holdsItems_; }
  std::size_t numberOfItems() const { return items_.size(); }
  // Item `index`, counted from 1; null when out of range.
  const AppleEventDescriptor* descriptorAtIndex(std::size_t index) const;
  const std::vector<AppleEventDescriptor>& items() const { return items_; }

  // The text of a 'utxt' or 'TEXT' descriptor; nullopt for every other type.
  std::optional<std::string> stringValue() const;
  // The integer held in 2, 4 or 8 bytes ('shor', 'long', 'comp', 'magn' and the like): 2 bytes
  // widen with their sign, 8 bytes give their low 32 bits. 0 for any other size.
  std::int32_t int32Value() const;
  // A 'bool' byte other than 0, or the types 'true' and 'fals'; false otherwise.
  bool booleanValue() const;
  // The code held in 4 bytes ('enum', 'type'); 0 for any other size.
  FourCharCode enumCodeValue() const;
  FourCharCode typeCodeValue() const { return enumCodeValue(); }

  bool operator==(const AppleEventDescriptor& other) const = default;

 private:
  AppleEventDescriptor(FourCharCode type, std::vector<AppleEventDescriptor> items);

  FourCharCode type_;
  bool holdsItems_ = false;
  Data data_;
  std::vector<AppleEventDescriptor> items_;
};

}  // namespace twinlens
