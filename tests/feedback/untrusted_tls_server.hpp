#pragma once

#include <QSslServer>
#include <QUrl>

namespace twinlens::testing {

// An HTTPS server on 127.0.0.1 whose certificate, made afresh for each server and issued to
// 127.0.0.1, no one trusts: a client that checks certificates never gets a request through.
class UntrustedTlsServer {
 public:
  UntrustedTlsServer();

  // https://127.0.0.1:<port>/feedback
  QUrl url() const;
  // Connections on which a TLS handshake began.
  int handshakesStarted() const { return handshakesStarted_; }
  // Bytes that arrived through an established encryption; a request that got through.
  qint64 bytesDecrypted() const { return bytesDecrypted_; }

 private:
  QSslServer server_;
  int handshakesStarted_ = 0;
  qint64 bytesDecrypted_ = 0;
};

}  // namespace twinlens::testing
