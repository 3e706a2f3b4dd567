#include "untrusted_tls_server.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <memory>
#include <stdexcept>

namespace twinlens::testing {

namespace {

template <auto free>
struct Freer {
  template <typename T>
  void operator()(T* object) const {
    free(object);
  }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Freer<X509_EXTENSION_free>>;

void require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("making the test certificate: ") + what);
}

template <typename Write>
QByteArray pem(Write write) {
  Bio bio(BIO_new(BIO_s_mem()));
  require(bio && write(bio.get()), "PEM");
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return QByteArray(data, size);
}

// A P-256 key and a certificate for IP 127.0.0.1, valid for the hour around now, signed by itself.
std::pair<QSslCertificate, QSslKey> selfSignedCertificate() {
  Key key(EVP_EC_gen("P-256"));
  Certificate certificate(X509_new());
  require(key && certificate, "allocation");
  X509_set_version(certificate.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 3600);
  require(X509_set_pubkey(certificate.get(), key.get()), "public key");
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  require(X509_set_issuer_name(certificate.get(), name), "issuer");
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate.get(), certificate.get(), nullptr, nullptr, 0);
  Extension alternativeName(
      X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1"));
  require(alternativeName && X509_add_ext(certificate.get(), alternativeName.get(), -1),
          "subject alternative name");
  require(X509_sign(certificate.get(), key.get(), EVP_sha256()) > 0, "signature");

  QByteArray certificatePem =
      pem([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()) == 1; });
  QByteArray keyPem = pem([&](BIO* bio) {
    return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  });
  return {QSslCertificate(certificatePem), QSslKey(keyPem, QSsl::Ec)};
}

}  // namespace

UntrustedTlsServer::UntrustedTlsServer() {
  auto [certificate, key] = selfSignedCertificate();
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setLocalCertificate(certificate);
  configuration.setPrivateKey(key);
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
  server_.setSslConfiguration(configuration);
  QObject::connect(&server_, &QSslServer::startedEncryptionHandshake, &server_,
                   [this](QSslSocket*) { ++handshakesStarted_; });
  QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, &server_, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket,
                       [this, socket] { bytesDecrypted_ += socket->readAll().size(); });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  });
  if (!server_.listen(QHostAddress::LocalHost)) throw std::runtime_error("cannot listen");
}

QUrl UntrustedTlsServer::url() const {
  return QUrl(QStringLiteral("https://127.0.0.1:%1/feedback").arg(server_.serverPort()));
}

}  // namespace twinlens::testing
