#include "app/feedback/form_post_request.hpp"

#include <QUuid>

namespace twinlens {

namespace {

void appendString(QByteArray& data, QStringView text) {
  data.append(text.toUtf8());
}

}  // namespace

QString FormPostRequest::newBoundary() {
  return QStringLiteral("x-mime-boundary://") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

FormPostRequest FormPostRequest::requestWithURL(const QUrl& url, const PostForm& postForm) {
  return requestWithURL(url, postForm, newBoundary());
}

FormPostRequest FormPostRequest::requestWithURL(const QUrl& url, const PostForm& postForm,
                                                const QString& boundary) {
  FormPostRequest post{QNetworkRequest(url), bodyForForm(postForm, boundary)};
  post.request.setHeader(QNetworkRequest::ContentTypeHeader,
                         QStringLiteral("multipart/form-data; boundary=%1").arg(boundary));
  post.request.setHeader(QNetworkRequest::ContentLengthHeader,
                         QVariant::fromValue(static_cast<qint64>(post.body.size())));
  return post;
}

QByteArray FormPostRequest::bodyForForm(const PostForm& postForm, const QString& boundary) {
  QByteArray body;
  for (const auto& [name, value] : postForm) {
    appendString(body, QStringLiteral("--%1\r\n").arg(boundary));
    appendString(body, QStringLiteral("Content-Disposition: form-data; name=\"%1\"\r\n").arg(name));
    appendString(body, u"\r\n");
    appendString(body, value);
    appendString(body, u"\r\n");
  }
  appendString(body, QStringLiteral("\r\n--%1--\r\n").arg(boundary));
  return body;
}

}  // namespace twinlens
