#include "platform/process_table.hpp"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <memory>
#include <optional>

#include "platform/plist_reader.hpp"
#include "shared/logging.hpp"

namespace twinlens {

namespace {

constexpr std::string_view kBundleName = "CFBundleName";
constexpr std::string_view kExecutableFolder = ".app/Contents/MacOS";
constexpr std::string_view kDeletedSuffix = " (deleted)";

std::optional<pid_t> pidOfEntry(const char* name) {
  pid_t pid = 0;
  for (const char* c = name; *c; ++c) {
    if (*c < '0' || *c > '9' || pid > 100'000'000) return std::nullopt;
    pid = pid * 10 + (*c - '0');
  }
  return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

std::string executableOf(const std::string& processFolder) {
  std::string target(4096, '\0');
  const ssize_t length =
      ::readlink((processFolder + "/exe").c_str(), target.data(), target.size() - 1);
  if (length <= 0) return {};
  target.resize(static_cast<std::size_t>(length));
  // An executable replaced since it was started still names its bundle.
  if (target.ends_with(kDeletedSuffix)) target.resize(target.size() - kDeletedSuffix.size());
  return target;
}

// "/x/Foo.app" for "/x/Foo.app/Contents/MacOS/foo"; empty for an executable outside a bundle.
std::string bundleOf(const std::string& executable) {
  const std::size_t slash = executable.rfind('/');
  if (slash == std::string::npos) return {};
  const std::string_view folder = std::string_view(executable).substr(0, slash);
  if (!folder.ends_with(kExecutableFolder)) return {};
  const std::string_view bundle = folder.substr(0, folder.size() - kExecutableFolder.size() + 4);
  const std::size_t nameStart = bundle.rfind('/');
  if (nameStart == std::string_view::npos || bundle.size() - nameStart <= 5) return {};
  return std::string(bundle);
}

std::string commandName(const std::string& processFolder) {
  std::ifstream comm(processFolder + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

PListValue::Dictionary bundleInformation(const std::string& bundle) {
  PListValue::Dictionary information;
  ErrorRecord error;
  const std::optional<PListValue> plist =
      PListReader::parseFile(bundle + "/Contents/Info.plist", &error);
  if (plist && plist->dictionaryValue()) {
    information = *plist->dictionaryValue();
  } else {
    TL_LOG_DEBUG(&typeid(ProcessTable), "%s has no readable information dictionary: %s",
                 bundle.c_str(), error.description().c_str());
  }
  if (!information.contains(kBundleName)) {
    const std::size_t nameStart = bundle.rfind('/') + 1;
    information.insert_or_assign(
        std::string(kBundleName),
        PListValue::text(bundle.substr(nameStart, bundle.size() - nameStart - 4)));
  }
  information.insert_or_assign("BundlePath", PListValue::text(bundle));
  return information;
}

}  // namespace

ProcessTable ProcessTable::read(const std::string& procRoot) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(procRoot.c_str()), ::closedir);
  if (!folder) return ProcessTable(procRoot, {}, -errno);
  std::vector<pid_t> pids;
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::optional<pid_t> pid = pidOfEntry(entry->d_name);
    struct stat info;
    if (pid && ::stat((procRoot + "/" + entry->d_name).c_str(), &info) == 0 &&
        S_ISDIR(info.st_mode) && info.st_uid == me)
      pids.push_back(*pid);
  }
  std::sort(pids.begin(), pids.end());
  return ProcessTable(procRoot, std::move(pids), 0);
}

std::int32_t ProcessTable::getNextProcess(ProcessHandle& handle) const {
  if (failure_ != 0) {
    handle.index = pids_.size();
    return failure_;
  }
  const std::size_t next = handle.empty() ? 0 : handle.index + 1;
  if (next >= pids_.size()) {
    handle.index = ProcessHandle::kNone;
    return kProcessNotFoundResult;
  }
  handle.index = next;
  return 0;
}

std::int32_t ProcessTable::getProcessPID(const ProcessHandle& handle, pid_t* pid) const {
  if (handle.empty() || handle.index >= pids_.size()) return kProcessNotFoundResult;
  *pid = pids_[handle.index];
  return 0;
}

PListValue::Dictionary ProcessTable::informationDictionary(const ProcessHandle& handle) const {
  pid_t pid = 0;
  if (getProcessPID(handle, &pid) != 0) return {};
  return informationDictionary(procRoot_, pid);
}

PListValue::Dictionary ProcessTable::informationDictionary(const std::string& procRoot, pid_t pid) {
  const std::string processFolder = procRoot + "/" + std::to_string(pid);
  const std::string bundle = bundleOf(executableOf(processFolder));
  if (!bundle.empty()) return bundleInformation(bundle);
  std::string name = commandName(processFolder);
  if (name.empty()) return {};
  PListValue::Dictionary information;
  information.insert_or_assign(std::string(kBundleName), PListValue::text(std::move(name)));
  return information;
}

}  // namespace twinlens
