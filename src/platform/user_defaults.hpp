#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plist/dict_node.hpp"
#include "shared/error_record.hpp"

namespace twinlens {

// iPhoto's own preferences, where it keeps the folder of its current library.
inline constexpr const char* kIPhotoDefaultsDomain = "com.apple.iphoto";
inline constexpr const char* kIPhotoRootDirectoryKey = "RootDirectory";

// The preferences of one domain, kept as a property list in <folder>/<domain>.plist, where the
// folder is $XDG_CONFIG_HOME/twinlens (by default ~/.config/twinlens). Files are written as Apple
// writes XML property lists, so every reader of those reads them; Apple's XML and binary forms
// are both read.
//
// Reads see the file as it is now (it is read again whenever it has changed) with this object's
// unwritten changes laid over it. Changes are kept until synchronize(), which, under an exclusive
// lock on <domain>.plist.lock, reads the file afresh, applies the changes to it and replaces it
// atomically; so several processes may write different keys of one domain at the same time and
// none is lost. A file that cannot be parsed is reported once at Error level and read as empty;
// when a change is written, it is first renamed to <domain>.plist.damaged and so kept aside. The
// destructor writes what is still unwritten.
// Safe to use from several threads.
class UserDefaults {
 public:
  // `domain` must pass isValidDomain(); anything else is a caller error (ProgrammingError).
  explicit UserDefaults(std::string domain);
  UserDefaults(std::string domain, const std::string& folder);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // $XDG_CONFIG_HOME (when set to an absolute path) or $HOME/.config, then "/twinlens".
  static std::string defaultsFolder();
  // A file name of its own: not empty, no '/', no control character, not starting with '.'.
  static bool isValidDomain(std::string_view domain);
  // The domains that have a file in `folder`, sorted.
  static std::vector<std::string> domainsInFolder(const std::string& folder);
  // The root dictionary of a preferences file's bytes: Apple's binary form when they start with
  // "bplist00", its XML form otherwise. Null with the reader's record.
  static std::shared_ptr<DictNode> dictionaryWithPropertyListData(const Data& data,
                                                                  ErrorRecord* error = nullptr);

  const std::string& domain() const { return domain_; }
  const std::string& path() const { return path_; }
  // Whether the domain's file exists.
  bool exists() const;

  // The value under `key` when it is stored with that kind; nullopt for a missing file, key or
  // kind (an integer is not a boolean, nor the other way round).
  std::optional<std::int64_t> integerForKey(std::string_view key);
  std::optional<bool> booleanForKey(std::string_view key);
  std::optional<std::string> stringForKey(std::string_view key);
  std::optional<double> doubleForKey(std::string_view key);
  // A copy of whatever node is stored, or null.
  PListNodePtr objectForKey(std::string_view key);
  // A copy of every value, in the file's key order with unwritten changes applied.
  std::shared_ptr<DictNode> dictionaryRepresentation();

  void setInteger(std::int64_t value, std::string key);
  void setBoolean(bool value, std::string key);
  void setString(std::string value, std::string key);
  void setDouble(double value, std::string key);
  // Stores a copy of `value`, which must not be null.
  void setObject(const PListNode& value, std::string key);
  void removeObjectForKey(std::string key);

  // Writes the unwritten changes; true when there were none. Fails, keeping them, with the
  // "UnixErrorDomain" record of the folder, lock or file that could not be made, read, set aside
  // or replaced (a file that exists but cannot be read is never replaced).
  [[nodiscard]] bool synchronize(ErrorRecord* error = nullptr);
  bool hasUnwrittenChanges() const;

 private:
  // What a file looked like when it was read; a changed stamp means it must be read again.
  struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    bool operator==(const Stamp& other) const;
  };
  // A change not yet written: a node to store, or null to remove the key.
  struct Change {
    std::string key;
    PListNodePtr value;
  };

  Stamp stampOfFile() const;
  // The stored dictionary, read again when the file changed. Caller holds mutex_.
  const DictNode& stored();
  // Reads the file: the dictionary (empty for a missing or damaged file, setting *isDamaged for
  // the latter), or null with the record of a file that exists but cannot be read.
  std::shared_ptr<DictNode> load(const Stamp& stamp, ErrorRecord* error, bool* isDamaged = nullptr);
  PListNodePtr lookUp(std::string_view key);
  void change(std::string key, PListNodePtr value);
  bool writeChanges(ErrorRecord* error);

  std::string domain_;
  std::string folder_;
  std::string path_;
  mutable std::mutex mutex_;
  std::shared_ptr<DictNode> stored_ = std::make_shared<DictNode>();
  std::optional<Stamp> storedStamp_;
  std::optional<Stamp> reportedDamage_;
  std::vector<Change> changes_;
};

}  // namespace twinlens
