#pragma once

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QUrl>
#include <vector>

namespace twinlens::testing {

// One HTTP request as the test server read it.
struct ReceivedPost {
  QByteArray method;
  QByteArray target;
  QHash<QByteArray, QByteArray> headers;  // names in lower case
  QByteArray body;

  // The boundary named by "Content-Type", or empty when it is not a multipart form.
  QByteArray boundary() const;
};

// An HTTP server of the tests' own on 127.0.0.1: it reads each request whole, keeps it and
// answers as told.
class FeedbackServer {
 public:
  // Answers each request with `status` ("200 OK", say) and an empty body; with none, closes the
  // connection without an answer.
  explicit FeedbackServer(QByteArray status = "200 OK");

  // http://127.0.0.1:<port>/feedback
  QUrl url() const;
  const std::vector<ReceivedPost>& posts() const { return posts_; }
  int connections() const { return connections_; }

  // An address on 127.0.0.1 where nothing listens, so connecting is refused.
  static QUrl refusingURL();

 private:
  void accept();
  void read(QTcpSocket* socket);
  void answer(QTcpSocket* socket);

  QTcpServer server_;
  QByteArray status_;
  int connections_ = 0;
  std::vector<ReceivedPost> posts_;
  QHash<QTcpSocket*, QByteArray> pending_;
};

}  // namespace twinlens::testing
