#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace twinlens {

// One running SHA-1 computation (FIPS 180-1), on OpenSSL's EVP interface.
class Sha1Context {
 public:
  static constexpr std::size_t kDigestLength = 20;

  Sha1Context();
  ~Sha1Context();
  Sha1Context(const Sha1Context&) = delete;
  Sha1Context& operator=(const Sha1Context&) = delete;

  void update(const std::uint8_t* bytes, std::size_t length);
  // Finishes the computation: 40 lower-case hexadecimal digits.
  std::string hexDigest();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace twinlens
