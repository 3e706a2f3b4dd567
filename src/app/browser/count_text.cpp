#include "app/browser/count_text.hpp"

#include <QLocale>

namespace twinlens {

std::string localeGroupingSeparator() {
  return QLocale().groupSeparator().toStdString();
}

std::string groupedCount(std::uint64_t count) {
  std::string digits = std::to_string(static_cast<std::uint32_t>(count));
  std::string separator = localeGroupingSeparator();
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace twinlens
