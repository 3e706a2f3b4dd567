#pragma once

#include <string>
#include <string_view>

namespace twinlens {

// The short description of the machine that feedback may carry, made from texts the system
// gives out. Stateless; any thread; uses no GUI toolkit.
class MachineProfile {
 public:
  // What the description is made from, each exactly as read (any of them may be empty).
  struct Sources {
    std::string osRelease;  // the contents of /etc/os-release
    std::string uname;      // the output of uname
    std::string cpuinfo;    // the contents of /proc/cpuinfo
    std::string meminfo;    // the contents of /proc/meminfo
  };

  // Up to five lines, "Operating system: ", "Kernel: ", "Processor: ", "Cores: ", "Memory: ",
  // each ended by a line feed. A fact the sources do not give leaves its line out, so empty or
  // unreadable sources give an empty text. Values are cut to one line of printable characters.
  static std::string textFromSources(const Sources& sources);

  // The value of the first "name : value" line of /proc/cpuinfo or /proc/meminfo whose name is
  // `name` (blanks around either are ignored); empty when there is none.
  static std::string fieldValue(std::string_view text, std::string_view name);
  // How many lines carry the field `name`.
  static std::size_t fieldCount(std::string_view text, std::string_view name);
  // The value of `key` in an os-release text (KEY=value, optionally in double or single quotes).
  static std::string osReleaseValue(std::string_view text, std::string_view key);
  // "MemTotal" of /proc/meminfo in gigabytes with one decimal ("15.6 GB"); empty when absent or
  // not a number of kilobytes.
  static std::string memoryText(std::string_view meminfo);
};

}  // namespace twinlens
