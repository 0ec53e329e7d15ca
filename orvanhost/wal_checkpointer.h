// Copies the store's write-ahead log back into the database file on a thread of its own, so
// that the check run's thread never waits for that copy or its fsync.
//
// The host's own connection turns automatic checkpoints off and calls Request() after each
// batch it commits; the checkpointer then runs a passive checkpoint on a second connection.
// A passive checkpoint never blocks the store's readers or writers, and copying the log is
// crash-safe at every moment: a killed process leaves a log that the next opener replays.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class WalCheckpointer {
 public:
  // Starts the thread; it opens its own connection to the store at `path` on first request.
  explicit WalCheckpointer(std::string path);
  // Finishes a checkpoint that is running and stops the thread.
  ~WalCheckpointer();
  WalCheckpointer(const WalCheckpointer&) = delete;
  WalCheckpointer& operator=(const WalCheckpointer&) = delete;

  // Asks for one more checkpoint; requests made while one runs are merged into the next.
  void Request();

 private:
  void Run();

  std::string path_;              // the store
  std::mutex mutex_;              // guards requested_ and stopping_
  std::condition_variable wake_;  // signalled on a request and on stop
  bool requested_ = false;        // a checkpoint is due
  bool stopping_ = false;         // the destructor runs
  std::thread thread_;            // runs Run(); started last
};
