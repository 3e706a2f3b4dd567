#include "crypto/sha1_context.hpp"

#include <openssl/evp.h>

#include <new>

#include "io/hex_string.hpp"

namespace twinlens {

namespace {
// Fetching the algorithm once spares every hash OpenSSL's per-init look-up.
const EVP_MD* sha1Algorithm() {
  static const EVP_MD* md = [] {
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    return fetched ? fetched : EVP_sha1();
  }();
  return md;
}
}  // namespace

struct Sha1Context::Impl {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  ~Impl() { EVP_MD_CTX_free(ctx); }
};

Sha1Context::Sha1Context() : impl_(std::make_unique<Impl>()) {
  if (!impl_->ctx || EVP_DigestInit_ex(impl_->ctx, sha1Algorithm(), nullptr) != 1)
    throw std::bad_alloc();
}

Sha1Context::~Sha1Context() = default;

void Sha1Context::update(const std::uint8_t* bytes, std::size_t length) {
  EVP_DigestUpdate(impl_->ctx, bytes, length);
}

std::string Sha1Context::hexDigest() {
  std::uint8_t digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(impl_->ctx, digest, &length);
  return hexStringWithBytes(digest, length);
}

}  // namespace twinlens
