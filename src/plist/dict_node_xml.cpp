#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "io/atomic_file.hpp"
#include "plist/dict_node.hpp"
#include "plist/xml_plist_reader.hpp"
#include "plist/xml_plist_writer.hpp"

namespace twinlens {

namespace {

std::optional<Data> failRead(const std::string& path, int err, ErrorRecord* error) {
  TL_SET_UNIX_ERROR(error, &typeid(DictNode), err, "%s: %s", path.c_str(), std::strerror(err));
  return std::nullopt;
}

// The whole file, following symbolic links. A file larger than the XML parser can take is refused
// before anything is allocated for it.
std::optional<Data> readWholeFile(const std::string& path, ErrorRecord* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failRead(path, errno, error);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    int err = errno;
    ::close(fd);
    return failRead(path, err, error);
  }
  if (status.st_size > INT_MAX) {
    ::close(fd);
    return failRead(path, EFBIG, error);
  }
  Data bytes(static_cast<std::size_t>(status.st_size));
  std::size_t have = 0;
  for (;;) {
    if (have == bytes.size()) bytes.resize(have + 4096);  // the file may have grown
    ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || have + static_cast<std::size_t>(n) > INT_MAX) {
      int err = n < 0 ? errno : EFBIG;
      ::close(fd);
      return failRead(path, err, error);
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  bytes.resize(have);
  return bytes;
}

}  // namespace

std::optional<Data> DictNode::contentsOfFile(const std::string& path, ErrorRecord* error) {
  return readWholeFile(path, error);
}

std::shared_ptr<DictNode> DictNode::dictNodeWithStandardXMLData(const Data& data,
                                                                ErrorRecord* error) {
  return XMLPListReader(SharedData(&data, [](const Data*) {}), XMLPListReader::Escaping::once)
      .read(error);
}

std::shared_ptr<DictNode> DictNode::dictNodeWithContentsOfXMLFile(const std::string& path,
                                                                  ErrorRecord* error) {
  std::optional<Data> bytes = readWholeFile(path, error);
  if (!bytes) return nullptr;
  return XMLPListReader(std::make_shared<const Data>(std::move(*bytes))).read(error);
}

std::shared_ptr<DictNode> DictNode::dictNodeWithXMLData(const Data& data, ErrorRecord* error) {
  // The reader only looks at the bytes while read() runs, so it may borrow the caller's block.
  return XMLPListReader(SharedData(&data, [](const Data*) {})).read(error);
}

Data DictNode::XMLData() const {
  auto data = std::make_shared<Data>();
  XMLPListWriter(data).write(*this);
  return std::move(*data);
}

bool DictNode::writeXMLToFile(const std::string& path, ErrorRecord* error) const {
  return writeDataAtomically(path, XMLData(), 0644, error);
}

}  // namespace twinlens
