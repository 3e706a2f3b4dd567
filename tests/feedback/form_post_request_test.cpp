#include "app/feedback/form_post_request.hpp"

#include <gtest/gtest.h>

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
  EXPECT_EQ(FormPostRequest::bodyForForm({}, QStringLiteral("B")), QByteArray("\r\n--B--\r\n"));
}

}  // namespace
}  // namespace twinlens
