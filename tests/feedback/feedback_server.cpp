#include "feedback_server.hpp"

#include <QTcpSocket>
#include <optional>
#include <stdexcept>

namespace twinlens::testing {

namespace {

const QByteArray kHeaderEnd = "\r\n\r\n";

// The request in `bytes` once all of it has arrived.
std::optional<ReceivedPost> completeRequest(const QByteArray& bytes) {
  qsizetype headerEnd = bytes.indexOf(kHeaderEnd);
  if (headerEnd < 0) return std::nullopt;
  QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
  QList<QByteArray> requestLine = lines.takeFirst().trimmed().split(' ');
  ReceivedPost post;
  post.method = requestLine.value(0);
  post.target = requestLine.value(1);
  for (const QByteArray& line : lines) {
    qsizetype colon = line.indexOf(':');
    if (colon > 0) post.headers.insert(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
  }
  qsizetype length = post.headers.value("content-length", "0").toLongLong();
  if (bytes.size() < headerEnd + kHeaderEnd.size() + length) return std::nullopt;
  post.body = bytes.mid(headerEnd + kHeaderEnd.size(), length);
  return post;
}

}  // namespace

QByteArray ReceivedPost::boundary() const {
  const QByteArray prefix = "multipart/form-data; boundary=";
  QByteArray type = headers.value("content-type");
  return type.startsWith(prefix) ? type.mid(prefix.size()) : QByteArray();
}

FeedbackServer::FeedbackServer(QByteArray status) : status_(std::move(status)) {
  if (!server_.listen(QHostAddress::LocalHost)) throw std::runtime_error("cannot listen");
  QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
}

QUrl FeedbackServer::url() const {
  return QUrl(QStringLiteral("http://127.0.0.1:%1/feedback").arg(server_.serverPort()));
}

QUrl FeedbackServer::refusingURL() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost)) throw std::runtime_error("cannot listen");
  quint16 port = probe.serverPort();
  probe.close();
  return QUrl(QStringLiteral("http://127.0.0.1:%1/feedback").arg(port));
}

void FeedbackServer::accept() {
  while (QTcpSocket* socket = server_.nextPendingConnection()) {
    ++connections_;
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
  }
}

void FeedbackServer::read(QTcpSocket* socket) {
  QByteArray& bytes = pending_[socket];
  bytes += socket->readAll();
  std::optional<ReceivedPost> post = completeRequest(bytes);
  if (!post) return;
  posts_.push_back(std::move(*post));
  bytes.clear();
  answer(socket);
}

void FeedbackServer::answer(QTcpSocket* socket) {
  if (status_.isEmpty()) return socket->abort();
  socket->write("HTTP/1.1 " + status_ + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  socket->disconnectFromHost();
}

}  // namespace twinlens::testing
