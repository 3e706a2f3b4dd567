#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <utility>
#include <vector>

namespace twinlens {

// Form fields in the order they are sent. Every value is a text; names are the caller's own
// constants, written into the body as they stand.
using PostForm = std::vector<std::pair<QString, QString>>;

// An HTTP POST of a multipart/form-data form: the request with its headers, and the body that
// goes with it. A value type; any thread.
struct FormPostRequest {
  QNetworkRequest request;
  QByteArray body;

  // "x-mime-boundary://" followed by a newly generated UUID.
  static QString newBoundary();

  // The request for `url` carrying `postForm` under a new boundary.
  static FormPostRequest requestWithURL(const QUrl& url, const PostForm& postForm);
  // The same with a given boundary: "Content-Type" "multipart/form-data; boundary=<boundary>"
  // and "Content-Length" the body's size in bytes, for QNetworkAccessManager::post.
  static FormPostRequest requestWithURL(const QUrl& url, const PostForm& postForm,
                                        const QString& boundary);

  // For each field: "--<boundary>\r\n", "Content-Disposition: form-data; name=\"<name>\"\r\n",
  // "\r\n", the value in UTF-8, "\r\n"; after the last field "\r\n--<boundary>--\r\n".
  static QByteArray bodyForForm(const PostForm& postForm, const QString& boundary);
};

}  // namespace twinlens
