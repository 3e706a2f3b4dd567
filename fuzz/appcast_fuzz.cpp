// Update feeds come from the network: any bytes must give an item or an error record.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "app/update/appcast.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QByteArray feed(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  twinlens::ErrorRecord error;
  std::optional<twinlens::AppcastItem> item = twinlens::Appcast::newestItem(feed, &error);
  if (item && item->version.isEmpty()) __builtin_trap();
  if (item) (void)twinlens::Appcast::compareVersions(item->version, "0.1.0");
  return 0;
}
