#include "app/update/appcast.hpp"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

namespace twinlens {

namespace {

constexpr const char* kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

QString sparkleAttribute(const QXmlStreamAttributes& attributes, const char* name) {
  QString value = attributes.value(kSparkleNamespace, name).toString();
  if (value.isEmpty()) value = attributes.value(QString("sparkle:") + name).toString();
  return value.trimmed();
}

bool isSparkleElement(const QXmlStreamReader& reader, const char* name) {
  return reader.name() == QLatin1String(name) &&
         (reader.namespaceUri() == QLatin1String(kSparkleNamespace) ||
          reader.qualifiedName() == QString("sparkle:") + name);
}

// Reads the rest of one <item>, up to its end tag.
AppcastItem readItem(QXmlStreamReader& reader) {
  AppcastItem item;
  while (reader.readNextStartElement()) {
    if (reader.name() == QLatin1String("title") && reader.namespaceUri().isEmpty()) {
      item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    } else if (reader.name() == QLatin1String("enclosure")) {
      QXmlStreamAttributes attributes = reader.attributes();
      if (QString v = sparkleAttribute(attributes, "version"); !v.isEmpty()) item.version = v;
      if (QString v = sparkleAttribute(attributes, "shortVersionString"); !v.isEmpty())
        item.shortVersionString = v;
      item.downloadURL = attributes.value("url").toString();
      reader.skipCurrentElement();
    } else if (isSparkleElement(reader, "version")) {
      item.version = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    } else if (isSparkleElement(reader, "shortVersionString")) {
      item.shortVersionString =
          reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
    } else {
      reader.skipCurrentElement();
    }
  }
  if (item.shortVersionString.isEmpty()) item.shortVersionString = item.version;
  return item;
}

}  // namespace

std::optional<AppcastItem> Appcast::newestItem(const QByteArray& feed, ErrorRecord* error) {
  if (feed.size() > kMaxFeedBytes) {
    TL_SET_ERROR(error, nullptr, errorDomain(), kFeedTooLargeError,
                 "update feed too large (%lld bytes)", static_cast<long long>(feed.size()));
    return std::nullopt;
  }
  QXmlStreamReader reader(feed);
  std::optional<AppcastItem> newest;
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    if (reader.name() != QLatin1String("item")) continue;
    AppcastItem item = readItem(reader);
    if (item.version.isEmpty()) continue;
    if (!newest || compareVersions(item.version, newest->version) > 0) newest = std::move(item);
  }
  if (reader.hasError()) {
    TL_SET_ERROR(error, nullptr, errorDomain(), kFeedUnreadableError,
                 "update feed unreadable at line %lld: %s",
                 static_cast<long long>(reader.lineNumber()),
                 reader.errorString().toUtf8().constData());
    return std::nullopt;
  }
  if (!newest) {
    TL_SET_ERROR(error, nullptr, errorDomain(), kNoVersionError, "update feed offers no version");
    return std::nullopt;
  }
  return newest;
}

int Appcast::compareVersions(const QString& a, const QString& b) {
  static const QRegularExpression separators("[.\\-]");
  QStringList left = a.split(separators);
  QStringList right = b.split(separators);
  for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
    QString l = left.value(i, "0");
    QString r = right.value(i, "0");
    bool lNumber = false;
    bool rNumber = false;
    qulonglong ln = l.toULongLong(&lNumber);
    qulonglong rn = r.toULongLong(&rNumber);
    if (lNumber && rNumber) {
      if (ln != rn) return ln < rn ? -1 : 1;
    } else if (int c = l.compare(r); c != 0) {
      return c < 0 ? -1 : 1;
    }
  }
  return 0;
}

}  // namespace twinlens
