// The machine profile over arbitrary /etc/os-release, uname, /proc/cpuinfo and /proc/meminfo
// texts (the input split at its 0xFF bytes): at most five lines, each of printable bytes and of
// bounded length, never a crash or a hang.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/feedback/machine_profile.hpp"

namespace {

// Label, ": ", at most 200 bytes of value, and the line feed.
constexpr std::size_t kMaxLineBytes = 16 + 2 + 200 + 1;

bool isProfileText(std::string_view text) {
  std::size_t lines = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos || end + 1 > kMaxLineBytes || ++lines > 5) return false;
    for (char c : text.substr(0, end))
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    text.remove_prefix(end + 1);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string parts[4];
  for (std::string& part : parts) {
    std::size_t end = input.find('\xff');
    part = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  }
  twinlens::MachineProfile::Sources sources{parts[0], parts[1], parts[2], parts[3]};
  if (!isProfileText(twinlens::MachineProfile::textFromSources(sources))) __builtin_trap();
  return 0;
}
