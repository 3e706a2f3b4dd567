#include "platform/main_thread.hpp"

#include "shared/programming_error.hpp"

namespace twinlens {

void MainThread::requireMainThread() const {
  if (!isMainThread()) throw ProgrammingError("must be on main thread");
}

}  // namespace twinlens
