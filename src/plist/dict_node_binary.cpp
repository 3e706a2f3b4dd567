#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "io/atomic_file.hpp"
#include "io/data_input_stream.hpp"
#include "io/file_input_stream.hpp"
#include "plist/binary_plist_reader.hpp"
#include "plist/binary_plist_writer.hpp"
#include "plist/dict_node.hpp"

namespace twinlens {

std::shared_ptr<DictNode> DictNode::dictNodeWithBinaryData(const Data& data, ErrorRecord* error) {
  // The stream only reads the caller's block while this call runs, so it may borrow it.
  auto bytes = SharedData(&data, [](const Data*) {});
  auto stream = std::make_shared<BufferedInputStream>(std::make_shared<DataInputStream>(bytes));
  return BinaryPListReader(stream).read(error);
}

std::shared_ptr<DictNode> DictNode::dictNodeWithContentsOfBinaryFile(const std::string& path,
                                                                     ErrorRecord* error) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    int err = errno;
    TL_SET_UNIX_ERROR(error, &typeid(DictNode), err, "%s", std::strerror(err));
    return nullptr;
  }
  auto file =
      std::make_shared<FileInputStream>(path, 0, static_cast<std::uint64_t>(status.st_size));
  return BinaryPListReader(std::make_shared<BufferedInputStream>(file)).read(error);
}

Data DictNode::binaryData() const {
  auto data = std::make_shared<Data>();
  BinaryPListWriter(data).write(*this);
  return std::move(*data);
}

bool DictNode::writeAtomicallyToBinaryFile(const std::string& path, ErrorRecord* error) const {
  return writeDataAtomically(path, binaryData(), 0644, error);
}

}  // namespace twinlens
