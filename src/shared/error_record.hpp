#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace twinlens {

// What a failing operation hands back to its caller: a domain naming the family of the error, a
// code whose meaning depends on the domain, and the message that alerts show and logs quote.
// Immutable once made, so it may be passed between threads. A caller that fails because a callee
// failed passes the callee's record on unchanged.
class ErrorRecord {
 public:
  ErrorRecord() = default;
  ErrorRecord(std::string domain, std::int64_t code, std::string description)
      : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

  const std::string& domain() const { return domain_; }
  std::int64_t code() const { return code_; }
  const std::string& description() const { return description_; }

  // True when the code equals `code` widened by sign and the domain matches exactly (case too).
  bool isErrorWithDomain(std::string_view domain, std::int32_t code) const {
    return code_ == static_cast<std::int64_t>(code) && domain_ == domain;
  }

  bool operator==(const ErrorRecord&) const = default;

 private:
  std::string domain_;
  std::int64_t code_ = 0;
  std::string description_;
};

inline constexpr const char* kUnixErrorDomain = "UnixErrorDomain";

namespace detail {
// Stores a record in *error and writes its Trace line. Use TL_SET_ERROR, which skips all of this,
// formatting included, when the caller gave no place for a record.
void setErrorAt(ErrorRecord* error, const void* object, const char* file, int line,
                std::string domain, std::int64_t code, const char* format, ...)
    __attribute__((format(printf, 7, 8)));
void setErrorAt(ErrorRecord* error, const void* object, const char* file, int line,
                ErrorRecord record);
}  // namespace detail

}  // namespace twinlens

// Fails into `error` (an ErrorRecord*, possibly null) on behalf of `object`, with a printf-style
// message. With a null `error` nothing is formatted, stored or logged.
#define TL_SET_ERROR(error, object, domain, code, ...)                                       \
  do {                                                                                       \
    if (::twinlens::ErrorRecord* tl_error_place = (error))                                   \
      ::twinlens::detail::setErrorAt(tl_error_place, (object), __FILE__, __LINE__, (domain), \
                                     (code), __VA_ARGS__);                                   \
  } while (0)

// Fails into `error` with a system call's errno: "UnixErrorDomain", the errno as code.
#define TL_SET_UNIX_ERROR(error, object, errnum, ...) \
  TL_SET_ERROR(error, object, ::twinlens::kUnixErrorDomain, (errnum), __VA_ARGS__)
