#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/album_value.hpp"
#include "shared/error_record.hpp"

namespace twinlens::standin {

// Writes the catalogue on a thread of its own after each change, so that answering a script
// never waits for the disk. Changes that come faster than writes are folded into the next write;
// two writes never overlap, and each takes a snapshot made after the change that asked for it.
class LibrarySaver {
 public:
  // `snapshot` gives the catalogue as it stands (it is called on the saver's thread and must lock
  // whatever the changes lock); `write` stores it.
  using Snapshot = std::function<AlbumValue()>;
  using Write = std::function<bool(const AlbumValue&, ErrorRecord*)>;

  LibrarySaver(Snapshot snapshot, Write write);
  // Stops the thread after the write at hand; a change not yet written is dropped, so call
  // saveNow() first.
  ~LibrarySaver();
  LibrarySaver(const LibrarySaver&) = delete;
  LibrarySaver& operator=(const LibrarySaver&) = delete;

  // Asks for a write. Any thread. A failed write is logged at Error.
  void changed();
  // Waits for the write at hand, then writes the current catalogue on the calling thread,
  // whether or not anything changed; false with `write`'s record.
  [[nodiscard]] bool saveNow(ErrorRecord* error = nullptr);

 private:
  void run();

  Snapshot snapshot_;
  Write write_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool dirty_ = false;
  bool writing_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace twinlens::standin
