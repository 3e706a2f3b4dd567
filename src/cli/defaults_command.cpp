#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.hpp"
#include "platform/user_defaults.hpp"
#include "plist/array_node.hpp"
#include "plist/value_nodes.hpp"

namespace twinlens::cli {

namespace {

constexpr const char* kDefaultsUsage =
    "usage: twinlens-cli defaults read [DOMAIN [KEY]]\n"
    "       twinlens-cli defaults write DOMAIN KEY [-int|-bool|-string] VALUE\n"
    "       twinlens-cli defaults delete DOMAIN KEY\n"
    "\n"
    "Reads and changes the preferences kept in $XDG_CONFIG_HOME/twinlens/DOMAIN.plist\n"
    "(~/.config/twinlens when XDG_CONFIG_HOME is unset). 'read' with no domain prints every\n"
    "domain; with a domain, all of its values; with a key, that value alone. A value written\n"
    "without a type is a string. -bool takes true/false, yes/no or 1/0.\n"
    "\n"
    "Exit status: 1 when the domain or key does not exist or the file cannot be written,\n"
    "2 for a usage error.\n";

bool isPlainWord(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) &&
        std::string_view("_$+/:.-").find(c) == std::string_view::npos)
      return false;
  return true;
}

// A text as the old-style property-list form writes it: bare when it is one plain word,
// quoted with backslash escapes otherwise.
std::string quoted(std::string_view text) {
  if (isPlainWord(text)) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += std::string("\\") + c;
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out + "\"";
}

std::string formatReal(double value) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : formatFixedSix(value);
}

std::string describe(const PListNode& node, int depth);

std::string describeDict(const DictNode& dict, int depth) {
  std::string pad(4 * static_cast<std::size_t>(depth), ' ');
  std::string out = "{\n";
  dict.forEachEntry([&](const std::string& key, const PListNodePtr& value) {
    out += pad + "    " + quoted(key) + " = " + describe(*value, depth + 1) + ";\n";
  });
  return out + pad + "}";
}

std::string describe(const PListNode& node, int depth) {
  std::string pad(4 * static_cast<std::size_t>(depth), ' ');
  switch (node.type()) {
    case kIntegerNodeType:
      return std::to_string(static_cast<const IntegerNode&>(node).longlongValue());
    case kBooleanNodeType:
      return static_cast<const BooleanNode&>(node).booleanValue() ? "1" : "0";
    case kRealNodeType:
      return formatReal(static_cast<const RealNode&>(node).doubleValue());
    case kStringNodeType: {
      const auto& value = static_cast<const StringNode&>(node).stringValue();
      return value ? quoted(*value) : "\"\"";
    }
    case kArrayNodeType: {
      const auto& list = static_cast<const ArrayNode&>(node).list();
      std::string out = "(\n";
      for (std::size_t i = 0; i < list.size(); ++i)
        out += pad + "    " + describe(*list[i], depth + 1) + (i + 1 < list.size() ? ",\n" : "\n");
      return out + pad + ")";
    }
    case kDictNodeType:
      return describeDict(static_cast<const DictNode&>(node), depth);
    default:
      return "<unknown>";
  }
}

// A single value printed alone: a string without quotes, as the defaults tool does.
std::string describeAlone(const PListNode& node) {
  if (node.type() == kStringNodeType) {
    const auto& value = static_cast<const StringNode&>(node).stringValue();
    return value ? *value : "";
  }
  return describe(node, 0);
}

bool checkDomain(std::string_view domain) {
  if (UserDefaults::isValidDomain(domain)) return true;
  printError("invalid domain name '" + std::string(domain) + "'");
  return false;
}

int notFound(std::string_view domain, std::string_view key) {
  std::fprintf(stderr, "The domain/default pair of (%.*s, %.*s) does not exist\n",
               static_cast<int>(domain.size()), domain.data(), static_cast<int>(key.size()),
               key.data());
  return 1;
}

int domainNotFound(std::string_view domain) {
  std::fprintf(stderr, "Domain %.*s does not exist\n", static_cast<int>(domain.size()),
               domain.data());
  return 1;
}

int readAll() {
  std::string folder = UserDefaults::defaultsFolder();
  std::string out = "{\n";
  for (const std::string& domain : UserDefaults::domainsInFolder(folder)) {
    UserDefaults defaults(domain, folder);
    out += "    " + quoted(domain) + " = " + describeDict(*defaults.dictionaryRepresentation(), 1) +
           ";\n";
  }
  std::printf("%s}\n", out.c_str());
  return 0;
}

int read(std::span<const std::string_view> args) {
  if (args.empty()) return readAll();
  if (args.size() > 2) {
    std::fputs(kDefaultsUsage, stderr);
    return 2;
  }
  if (!checkDomain(args[0])) return 2;
  UserDefaults defaults{std::string(args[0])};
  if (!defaults.exists()) return domainNotFound(args[0]);
  if (args.size() == 1) {
    std::printf("%s\n", describeDict(*defaults.dictionaryRepresentation(), 0).c_str());
    return 0;
  }
  PListNodePtr value = defaults.objectForKey(args[1]);
  if (!value) return notFound(args[0], args[1]);
  std::printf("%s\n", describeAlone(*value).c_str());
  return 0;
}

bool parseBoolean(std::string_view text, bool* value) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "true" || lower == "yes" || lower == "1")
    *value = true;
  else if (lower == "false" || lower == "no" || lower == "0")
    *value = false;
  else
    return false;
  return true;
}

// Stores the typed value; false with a message for a value that does not fit its type.
bool setTyped(UserDefaults& defaults, std::string_view type, std::string_view text,
              std::string key) {
  if (type == "-string") {
    defaults.setString(std::string(text), std::move(key));
  } else if (type == "-int" || type == "-integer") {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
      printError("not an integer: '" + std::string(text) + "'");
      return false;
    }
    defaults.setInteger(value, std::move(key));
  } else if (type == "-bool" || type == "-boolean") {
    bool value = false;
    if (!parseBoolean(text, &value)) {
      printError("not a boolean: '" + std::string(text) + "'");
      return false;
    }
    defaults.setBoolean(value, std::move(key));
  } else {
    printError("unknown type '" + std::string(type) + "'");
    return false;
  }
  return true;
}

int save(UserDefaults& defaults) {
  ErrorRecord error;
  if (defaults.synchronize(&error)) return 0;
  printError(error.description());
  return 1;
}

int write(std::span<const std::string_view> args) {
  if (args.size() != 3 && args.size() != 4) {
    std::fputs(kDefaultsUsage, stderr);
    return 2;
  }
  if (!checkDomain(args[0])) return 2;
  UserDefaults defaults{std::string(args[0])};
  std::string_view type = args.size() == 4 ? args[2] : "-string";
  if (!setTyped(defaults, type, args.back(), std::string(args[1]))) return 2;
  return save(defaults);
}

int remove(std::span<const std::string_view> args) {
  if (args.size() != 2) {
    std::fputs(kDefaultsUsage, stderr);
    return 2;
  }
  if (!checkDomain(args[0])) return 2;
  UserDefaults defaults{std::string(args[0])};
  if (!defaults.exists()) return domainNotFound(args[0]);
  if (!defaults.objectForKey(args[1])) return notFound(args[0], args[1]);
  defaults.removeObjectForKey(std::string(args[1]));
  return save(defaults);
}

}  // namespace

int runDefaults(std::span<const std::string_view> args) {
  if (args.empty()) {
    std::fputs(kDefaultsUsage, stderr);
    return 2;
  }
  std::string_view verb = args[0];
  if (verb == "--help" || verb == "-h") {
    std::fputs(kDefaultsUsage, stdout);
    return 0;
  }
  if (verb == "read") return read(args.subspan(1));
  if (verb == "write") return write(args.subspan(1));
  if (verb == "delete") return remove(args.subspan(1));
  printError("unknown defaults verb '" + std::string(verb) + "'");
  std::fputs(kDefaultsUsage, stderr);
  return 2;
}

}  // namespace twinlens::cli
