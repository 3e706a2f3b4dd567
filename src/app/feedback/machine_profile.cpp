#include "app/feedback/machine_profile.hpp"

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace twinlens {

namespace {

// Longer values are cut; a description line has no use for kilobytes of text.
constexpr std::size_t kMaxValueBytes = 200;

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Keeps printable bytes only (UTF-8 sequences pass as they are) and cuts at a character boundary.
std::string printable(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) out += c;
  }
  if (out.size() > kMaxValueBytes) {
    std::size_t cut = kMaxValueBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

// Calls `visit(line)` for each line of `text` until it returns true.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (visit(line)) return;
    if (end == std::string_view::npos) return;
    text.remove_prefix(end + 1);
  }
}

// The name and value of a "name : value" line; false for a line without a colon.
bool splitField(std::string_view line, std::string_view& name, std::string_view& value) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  name = trimmed(line.substr(0, colon));
  value = trimmed(line.substr(colon + 1));
  return true;
}

void appendLine(std::string& out, std::string_view label, const std::string& value) {
  if (value.empty()) return;
  out.append(label).append(": ").append(value).append("\n");
}

}  // namespace

std::string MachineProfile::fieldValue(std::string_view text, std::string_view name) {
  std::string found;
  forEachLine(text, [&](std::string_view line) {
    std::string_view field, value;
    if (!splitField(line, field, value) || field != name) return false;
    found = printable(value);
    return true;
  });
  return found;
}

std::size_t MachineProfile::fieldCount(std::string_view text, std::string_view name) {
  std::size_t count = 0;
  forEachLine(text, [&](std::string_view line) {
    std::string_view field, value;
    if (splitField(line, field, value) && field == name) ++count;
    return false;
  });
  return count;
}

std::string MachineProfile::osReleaseValue(std::string_view text, std::string_view key) {
  std::string found;
  forEachLine(text, [&](std::string_view line) {
    line = trimmed(line);
    if (!line.starts_with(key) || line.substr(key.size(), 1) != "=") return false;
    std::string_view value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    found = printable(value);
    return true;
  });
  return found;
}

std::string MachineProfile::memoryText(std::string_view meminfo) {
  std::string total = fieldValue(meminfo, "MemTotal");
  std::uint64_t kilobytes = 0;
  auto [end, error] = std::from_chars(total.data(), total.data() + total.size(), kilobytes);
  if (error != std::errc() || end == total.data() ||
      trimmed({end, total.data() + total.size()}) != "kB")
    return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(kilobytes) / (1024.0 * 1024.0));
  return text;
}

std::string MachineProfile::textFromSources(const Sources& sources) {
  std::string processor = fieldValue(sources.cpuinfo, "model name");
  // ARM kernels name the processor differently, when at all.
  if (processor.empty()) processor = fieldValue(sources.cpuinfo, "Hardware");
  if (processor.empty()) processor = fieldValue(sources.cpuinfo, "Processor");
  std::size_t cores = fieldCount(sources.cpuinfo, "processor");

  std::string out;
  appendLine(out, "Operating system", osReleaseValue(sources.osRelease, "PRETTY_NAME"));
  std::string_view uname = sources.uname;
  appendLine(out, "Kernel", printable(trimmed(uname.substr(0, uname.find('\n')))));
  appendLine(out, "Processor", processor);
  appendLine(out, "Cores", cores ? std::to_string(cores) : std::string());
  appendLine(out, "Memory", memoryText(sources.meminfo));
  return out;
}

}  // namespace twinlens
