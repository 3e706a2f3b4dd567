#include "app/feedback/feedback_strings.hpp"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace twinlens {

namespace {

QByteArray resourceBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QHash<QString, QString> textsOf(const QJsonObject& object) {
  QHash<QString, QString> texts;
  for (auto entry = object.begin(); entry != object.end(); ++entry)
    if (entry.value().isString()) texts.insert(entry.key(), entry.value().toString());
  return texts;
}

}  // namespace

FeedbackStrings::FeedbackStrings() {
  QJsonObject provider =
      QJsonDocument::fromJson(resourceBytes(QStringLiteral(":/feedback/QvFeedbackProvider.json")))
          .object();
  table_ = textsOf(provider.value(u"strings").toObject());
  QJsonObject controls = provider.value(u"interface").toObject();
  labels_ = textsOf(controls);
  for (const QJsonValue& segment : controls.value(u"segments").toArray())
    segmentLabels_.append(segment.toString());
  sectionTemplates_ =
      QString::fromUtf8(resourceBytes(QStringLiteral(":/feedback/QvFeedbackProvider.txt")));
}

QString FeedbackStrings::text(const QString& key) const {
  return table_.value(key, key);
}

QString FeedbackStrings::label(const QString& key) const {
  return labels_.value(key);
}

QString FeedbackStrings::formatted(const QString& format, const QStringList& arguments) {
  QString out;
  qsizetype next = 0;
  for (qsizetype i = 0; i < format.size(); ++i) {
    QChar c = format[i];
    if (c == u'%' && i + 1 < format.size() && format[i + 1] == u'@') {
      if (next < arguments.size()) out += arguments[next];
      ++next;
      ++i;
    } else if (c == u'%' && i + 1 < format.size() && format[i + 1] == u'%') {
      out += u'%';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace twinlens
