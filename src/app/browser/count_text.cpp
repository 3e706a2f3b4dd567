#include "app/browser/count_text.hpp"

#include <QLocale>

namespace twinlens {

std::string localeGroupingSeparator() {
  return QLocale().groupSeparator().toStdString();
}

std::string groupedCount(std::uint64_t count) {
  return groupedDigits(count, localeGroupingSeparator());
}

}  // namespace twinlens
