#include "platform/user_defaults.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/atomic_file.hpp"
#include "io/file_helpers.hpp"
#include "platform/apple_binary_plist_reader.hpp"
#include "platform/apple_xml_plist_writer.hpp"
#include "platform/user.hpp"
#include "plist/value_nodes.hpp"
#include "shared/logging.hpp"
#include "shared/programming_error.hpp"

namespace twinlens {

namespace {

constexpr std::string_view kSuffix = ".plist";
constexpr const char* kDamagedSuffix = ".damaged";

// Holds the exclusive lock of a domain while it lives.
class DomainLock {
 public:
  explicit DomainLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd_);
      fd_ = -1;
      errno = err;
      return;
    }
  }
  ~DomainLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  DomainLock(const DomainLock&) = delete;
  DomainLock& operator=(const DomainLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

bool UserDefaults::Stamp::operator==(const Stamp& other) const {
  return exists == other.exists && device == other.device && inode == other.inode &&
         size == other.size && modified.tv_sec == other.modified.tv_sec &&
         modified.tv_nsec == other.modified.tv_nsec;
}

UserDefaults::UserDefaults(std::string domain)
    : UserDefaults(std::move(domain), defaultsFolder()) {}

UserDefaults::UserDefaults(std::string domain, const std::string& folder)
    : domain_(std::move(domain)), folder_(folder) {
  if (!isValidDomain(domain_))
    throw ProgrammingError("UserDefaults: invalid domain '" + domain_ + "'");
  path_ = folder_ + "/" + domain_ + std::string(kSuffix);
}

UserDefaults::~UserDefaults() {
  ErrorRecord error;
  if (!synchronize(&error))
    logError("preferences of %s not saved: %s", domain_.c_str(), error.description().c_str());
}

std::string UserDefaults::defaultsFolder() {
  return User::configurationPath() + "/twinlens";
}

bool UserDefaults::isValidDomain(std::string_view domain) {
  if (domain.empty() || domain.front() == '.' || domain.size() > 200) return false;
  return std::none_of(domain.begin(), domain.end(), [](char c) {
    return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

std::vector<std::string> UserDefaults::domainsInFolder(const std::string& folder) {
  std::vector<std::string> domains;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return domains;
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) continue;
    std::string domain(name.substr(0, name.size() - kSuffix.size()));
    if (isValidDomain(domain)) domains.push_back(std::move(domain));
  }
  ::closedir(dir);
  std::sort(domains.begin(), domains.end());
  return domains;
}

bool UserDefaults::exists() const {
  return stampOfFile().exists;
}

UserDefaults::Stamp UserDefaults::stampOfFile() const {
  struct stat status {};
  Stamp stamp;
  if (::stat(path_.c_str(), &status) != 0) return stamp;
  stamp.exists = true;
  stamp.device = status.st_dev;
  stamp.inode = status.st_ino;
  stamp.size = status.st_size;
  stamp.modified = status.st_mtim;
  return stamp;
}

std::shared_ptr<DictNode> UserDefaults::dictionaryWithPropertyListData(const Data& data,
                                                                       ErrorRecord* error) {
  if (AppleBinaryPListReader::hasMagic(data)) return AppleBinaryPListReader::read(data, error);
  return DictNode::dictNodeWithStandardXMLData(data, error);
}

std::shared_ptr<DictNode> UserDefaults::load(const Stamp& stamp, ErrorRecord* error,
                                             bool* isDamaged) {
  if (!stamp.exists) return std::make_shared<DictNode>();
  ErrorRecord failure;
  std::optional<Data> bytes = DictNode::contentsOfFile(path_, &failure);
  std::shared_ptr<DictNode> dict =
      bytes ? dictionaryWithPropertyListData(*bytes, &failure) : nullptr;
  if (dict) return dict;
  bool damaged = failure.domain() != kUnixErrorDomain;
  if (isDamaged) *isDamaged = damaged;
  if (!damaged && failure.code() == ENOENT) return std::make_shared<DictNode>();
  if (reportedDamage_ != stamp) {
    logError("preferences file %s %s, reading it as empty: %s", path_.c_str(),
             damaged ? "is damaged" : "cannot be read", failure.description().c_str());
    reportedDamage_ = stamp;
  }
  if (damaged) return std::make_shared<DictNode>();
  if (error) detail::setErrorAt(error, this, __FILE__, __LINE__, std::move(failure));
  return nullptr;
}

const DictNode& UserDefaults::stored() {
  Stamp stamp = stampOfFile();
  if (storedStamp_ != stamp) {
    std::shared_ptr<DictNode> dict = load(stamp, nullptr);
    stored_ = dict ? dict : std::make_shared<DictNode>();
    storedStamp_ = stamp;
  }
  return *stored_;
}

PListNodePtr UserDefaults::lookUp(std::string_view key) {
  auto change = std::find_if(changes_.rbegin(), changes_.rend(),
                             [key](const Change& c) { return c.key == key; });
  if (change != changes_.rend()) return change->value;
  return stored().nodeForKey(key);
}

std::optional<std::int64_t> UserDefaults::integerForKey(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = std::dynamic_pointer_cast<IntegerNode>(lookUp(key));
  return node ? std::optional<std::int64_t>(node->longlongValue()) : std::nullopt;
}

std::optional<bool> UserDefaults::booleanForKey(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = std::dynamic_pointer_cast<BooleanNode>(lookUp(key));
  return node ? std::optional<bool>(node->booleanValue()) : std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = std::dynamic_pointer_cast<StringNode>(lookUp(key));
  return node ? node->stringValue() : std::nullopt;
}

std::optional<double> UserDefaults::doubleForKey(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto node = std::dynamic_pointer_cast<RealNode>(lookUp(key));
  return node ? std::optional<double>(node->doubleValue()) : std::nullopt;
}

PListNodePtr UserDefaults::objectForKey(std::string_view key) {
  std::lock_guard<std::mutex> lock(mutex_);
  PListNodePtr node = lookUp(key);
  return node ? node->copy() : nullptr;
}

std::shared_ptr<DictNode> UserDefaults::dictionaryRepresentation() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<DictNode> all = stored().deepCopy();
  for (const Change& change : changes_) {
    if (change.value)
      all->put(change.value->copy(), change.key);
    else
      all->removeKey(change.key);
  }
  return all;
}

void UserDefaults::change(std::string key, PListNodePtr value) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(changes_, [&key](const Change& c) { return c.key == key; });
  changes_.push_back(Change{std::move(key), std::move(value)});
}

void UserDefaults::setInteger(std::int64_t value, std::string key) {
  change(std::move(key), std::make_shared<IntegerNode>(value));
}
void UserDefaults::setBoolean(bool value, std::string key) {
  change(std::move(key), std::make_shared<BooleanNode>(value));
}
void UserDefaults::setString(std::string value, std::string key) {
  change(std::move(key), std::make_shared<StringNode>(std::move(value)));
}
void UserDefaults::setDouble(double value, std::string key) {
  change(std::move(key), std::make_shared<RealNode>(value));
}
void UserDefaults::setObject(const PListNode& value, std::string key) {
  change(std::move(key), value.copy());
}
void UserDefaults::removeObjectForKey(std::string key) {
  change(std::move(key), nullptr);
}

bool UserDefaults::hasUnwrittenChanges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !changes_.empty();
}

bool UserDefaults::synchronize(ErrorRecord* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  return changes_.empty() || writeChanges(error);
}

bool UserDefaults::writeChanges(ErrorRecord* error) {
  if (!ensureParentPathExistsForPath(path_, error)) return false;
  DomainLock domainLock(path_ + ".lock");
  if (!domainLock.held()) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, this, err, "%s.lock: %s", path_.c_str(), std::strerror(err));
    return false;
  }
  // Another process may have written since this one last read: start from the file as it is.
  Stamp before = stampOfFile();
  bool damaged = false;
  std::shared_ptr<DictNode> merged = load(before, error, &damaged);
  if (!merged) return false;
  for (const Change& change : changes_) {
    if (change.value)
      merged->put(change.value, change.key);
    else
      merged->removeKey(change.key);
  }
  std::optional<Data> document = AppleXMLPListWriter::dataWithDictionary(*merged, error);
  if (!document) return false;
  // What could not be read is kept aside, never overwritten: someone may still want it.
  if (damaged && ::rename(path_.c_str(), (path_ + kDamagedSuffix).c_str()) != 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, this, err, "rename(%s): %s", path_.c_str(), std::strerror(err));
    return false;
  }
  if (!writeDataAtomically(path_, *document, 0644, error)) return false;
  changes_.clear();
  stored_ = merged;
  storedStamp_ = stampOfFile();
  return true;
}

}  // namespace twinlens
