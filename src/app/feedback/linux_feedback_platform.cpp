#include "app/feedback/linux_feedback_platform.hpp"

#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QHostInfo>
#include <QProcess>
#include <cerrno>
#include <vector>

#include "app/feedback/machine_profile.hpp"

namespace twinlens {

namespace {

// The files read are a few kilobytes; anything beyond this is not worth describing.
constexpr qint64 kMaxSourceBytes = 1 << 20;
constexpr std::size_t kMaxPasswordEntryBytes = 1 << 20;
// uname answers at once; a hung one must not keep the feedback from being sent.
constexpr int kUnameTimeoutMs = 10000;

std::string readSource(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.read(kMaxSourceBytes).toStdString();
}

// Everything `uname -a` prints but the host name, which is nobody's business at the server.
std::string unameOutput() {
  QProcess uname;
  uname.start(QStringLiteral("uname"), {QStringLiteral("-srvmo")}, QIODevice::ReadOnly);
  if (!uname.waitForStarted(kUnameTimeoutMs)) return {};
  if (!uname.waitForFinished(kUnameTimeoutMs)) uname.kill();
  return uname.readAllStandardOutput().left(kMaxSourceBytes).toStdString();
}

}  // namespace

void LinuxFeedbackPlatform::checkReachability(const QString& host,
                                              std::function<void(bool reachable)> done) {
  if (host.isEmpty()) {
    done(false);
    return;
  }
  QHostInfo::lookupHost(host, QCoreApplication::instance(),
                        [done = std::move(done)](const QHostInfo& info) {
                          done(info.error() == QHostInfo::NoError && !info.addresses().isEmpty());
                        });
}

std::optional<OwnCard> LinuxFeedbackPlatform::ownCard() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  int status;
  // The suggested size is only a hint; an entry with long fields needs more.
  while ((status = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) ==
         ERANGE) {
    if (buffer.size() >= kMaxPasswordEntryBytes) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0 || !found || !entry.pw_gecos) return std::nullopt;
  std::optional<QString> name = fullNameFromGecos(entry.pw_gecos);
  if (!name) return std::nullopt;
  return OwnCard{*name, {}};
}

QString LinuxFeedbackPlatform::machineProfile() {
  MachineProfile::Sources sources;
  sources.osRelease = readSource(QStringLiteral("/etc/os-release"));
  if (sources.osRelease.empty())
    sources.osRelease = readSource(QStringLiteral("/usr/lib/os-release"));
  sources.uname = unameOutput();
  sources.cpuinfo = readSource(QStringLiteral("/proc/cpuinfo"));
  sources.meminfo = readSource(QStringLiteral("/proc/meminfo"));
  return QString::fromStdString(MachineProfile::textFromSources(sources));
}

std::optional<QString> LinuxFeedbackPlatform::fullNameFromGecos(std::string_view gecos) {
  std::string_view prefix = gecos.substr(0, gecos.find(','));
  QString name = QString::fromUtf8(prefix.data(), static_cast<qsizetype>(prefix.size())).trimmed();
  if (name.isEmpty()) return std::nullopt;
  return name;
}

}  // namespace twinlens
