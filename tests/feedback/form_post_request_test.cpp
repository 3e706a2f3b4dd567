#include "app/feedback/form_post_request.hpp"

#include <gtest/gtest.h>

#include <QUuid>

#include "feedback_server.hpp"
#include "qt_test_support.hpp"

namespace twinlens {
namespace {

const QUrl kURL(QStringLiteral("https://feedback.example.org/post"));
const QString kBoundary = QStringLiteral("B");

TEST(FormPostRequest, TwoFieldsInOrderGiveTheExactBody) {
  FormPostRequest post = FormPostRequest::requestWithURL(
      kURL,
      {{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("b"), QStringLiteral("2")}},
      kBoundary);
  QByteArray expected =
      "--B\r\n"
      "Content-Disposition: form-data; name=\"a\"\r\n"
      "\r\n"
      "1\r\n"
      "--B\r\n"
      "Content-Disposition: form-data; name=\"b\"\r\n"
      "\r\n"
      "2\r\n"
      "\r\n"
      "--B--\r\n";
  EXPECT_EQ(post.body, expected);
  EXPECT_EQ(post.request.header(QNetworkRequest::ContentLengthHeader).toLongLong(),
            expected.size());
  EXPECT_EQ(post.request.header(QNetworkRequest::ContentTypeHeader).toString(),
            QStringLiteral("multipart/form-data; boundary=B"));
  EXPECT_EQ(post.request.url(), kURL);
}

TEST(FormPostRequest, EmptyFormIsTheClosingDelimiterAlone) {
  EXPECT_EQ(FormPostRequest::bodyForForm({}, kBoundary), QByteArray("\r\n--B--\r\n"));
}

TEST(FormPostRequest, ValuesGoInAsUTF8WithTheirLineBreaks) {
  QString value = QStringLiteral("Zo\u00eb \u2013 line one\r\nline two\n");
  QByteArray body = FormPostRequest::bodyForForm({{QStringLiteral("feedback"), value}}, kBoundary);
  EXPECT_EQ(body, "--B\r\nContent-Disposition: form-data; name=\"feedback\"\r\n\r\n" +
                      value.toUtf8() + "\r\n\r\n--B--\r\n");
  // The length header counts bytes, not characters.
  FormPostRequest post =
      FormPostRequest::requestWithURL(kURL, {{QStringLiteral("feedback"), value}}, kBoundary);
  EXPECT_EQ(post.request.header(QNetworkRequest::ContentLengthHeader).toLongLong(), body.size());
}

TEST(FormPostRequest, NewBoundariesAreFreshUUIDs) {
  const QString prefix = QStringLiteral("x-mime-boundary://");
  QString first = FormPostRequest::newBoundary();
  QString second = FormPostRequest::newBoundary();
  ASSERT_TRUE(first.startsWith(prefix));
  EXPECT_FALSE(QUuid::fromString(first.mid(prefix.size())).isNull());
  EXPECT_NE(first, second);
}

TEST(FormPostRequest, RequestUsesOneBoundaryForHeaderAndBody) {
  PostForm form = {{QStringLiteral("feedbackType"), QStringLiteral("BUG")}};
  FormPostRequest post = FormPostRequest::requestWithURL(kURL, form);
  QByteArray type = post.request.header(QNetworkRequest::ContentTypeHeader).toByteArray();
  const QByteArray prefix = "multipart/form-data; boundary=";
  ASSERT_TRUE(type.startsWith(prefix));
  EXPECT_EQ(testing::parseFeedbackForm(post.body, type.mid(prefix.size())), form);
}

}  // namespace
}  // namespace twinlens
