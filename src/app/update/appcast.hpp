#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "shared/error_record.hpp"

namespace twinlens {

// One release that an update feed offers.
struct AppcastItem {
  QString title;
  // The build version compared against "CFBundleVersion", and the one shown to people.
  QString version;
  QString shortVersionString;
  QString downloadURL;
};

// Reads an update feed: an RSS document whose items each carry an <enclosure> with the
// attributes sparkle:version (or a <sparkle:version> element), sparkle:shortVersionString and
// url. No DTD or external entity is ever loaded.
class Appcast {
 public:
  static constexpr qsizetype kMaxFeedBytes = 1 << 20;

  // The item with the highest version; null with an "AppcastErrorDomain" record for a document
  // that is not well-formed, too large, or offers no versioned item.
  static std::optional<AppcastItem> newestItem(const QByteArray& feed,
                                               ErrorRecord* error = nullptr);
  // Negative, zero or positive as `a` is older than, the same as or newer than `b`: dot- and
  // dash-separated parts compared as numbers where both are numbers, else as text.
  static int compareVersions(const QString& a, const QString& b);

  static const char* errorDomain() { return "AppcastErrorDomain"; }
  static constexpr std::int32_t kFeedTooLargeError = 1;
  static constexpr std::int32_t kFeedUnreadableError = 2;
  static constexpr std::int32_t kNoVersionError = 3;
};

}  // namespace twinlens
