#include "app/feedback/form_post_request.hpp"

#include <gtest/gtest.h>

#include <QUuid>

#include "qt_test_support.hpp"

namespace twinlens {
namespace {

const QUrl kURL(QStringLiteral("https://feedback.example.org/post"));

TEST(FormPostRequest, FieldsInOrderGiveTheExactBodyInUTF8) {
  QString value = QStringLiteral("Zo\u00eb \u2013 line one\r\nline two\n");
  FormPostRequest post = FormPostRequest::requestWithURL(
      kURL, {{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("feedback"), value}},
      QStringLiteral("B"));
  QByteArray expected =
      "--B\r\n"
      "Content-Disposition: form-data; name=\"a\"\r\n"
      "\r\n"
      "1\r\n"
      "--B\r\n"
      "Content-Disposition: form-data; name=\"feedback\"\r\n"
      "\r\n" +
      value.toUtf8() +
      "\r\n"
      "\r\n--B--\r\n";
  EXPECT_EQ(post.body, expected);
  // The length header counts bytes, not characters.
  EXPECT_EQ(post.request.header(QNetworkRequest::ContentLengthHeader).toLongLong(),
            expected.size());
  EXPECT_EQ(post.request.header(QNetworkRequest::ContentTypeHeader).toString(),
            QStringLiteral("multipart/form-data; boundary=B"));
  EXPECT_EQ(post.request.url(), kURL);
  EXPECT_EQ(FormPostRequest::bodyForForm({}, QStringLiteral("B")), QByteArray("\r\n--B--\r\n"));
}

TEST(FormPostRequest, EachRequestHasAFreshUUIDBoundaryInHeaderAndBody) {
  PostForm form = {{QStringLiteral("feedbackType"), QStringLiteral("BUG")}};
  QString boundaries[2];
  for (QString& boundary : boundaries) {
    FormPostRequest post = FormPostRequest::requestWithURL(kURL, form);
    QString type = post.request.header(QNetworkRequest::ContentTypeHeader).toString();
    const QString prefix = QStringLiteral("multipart/form-data; boundary=x-mime-boundary://");
    ASSERT_TRUE(type.startsWith(prefix)) << type.toStdString();
    EXPECT_FALSE(QUuid::fromString(type.mid(prefix.size())).isNull());
    boundary = type.section(u'=', 1);
    EXPECT_EQ(post.body, FormPostRequest::bodyForForm(form, boundary));
  }
  EXPECT_NE(boundaries[0], boundaries[1]);
}

}  // namespace
}  // namespace twinlens
