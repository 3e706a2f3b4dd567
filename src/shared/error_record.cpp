#include "shared/error_record.hpp"

#include <cstdarg>

#include "shared/logging.hpp"
#include "shared/text_format.hpp"

namespace twinlens::detail {

void setErrorAt(ErrorRecord* error, const void* object, const char* file, int line,
                ErrorRecord record) {
  if (!error) return;
  *error = std::move(record);
  if (logEnabled(kLogLevelTrace))
    logTraceAt(object, file, line, "%s", error->description().c_str());
}

void setErrorAt(ErrorRecord* error, const void* object, const char* file, int line,
                std::string domain, std::int64_t code, const char* format, ...) {
  if (!error) return;
  va_list args;
  va_start(args, format);
  std::string message = formatTextV(format, args);
  va_end(args);
  setErrorAt(error, object, file, line, ErrorRecord(std::move(domain), code, std::move(message)));
}

}  // namespace twinlens::detail
