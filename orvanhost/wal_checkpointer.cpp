// The background checkpoint thread. It wakes once per committed batch of scores (about ten
// times a second in a busy run) and sleeps otherwise.
#include "orvanhost/wal_checkpointer.h"

#include <sqlite3.h>

#include "orvanhost/store.h"

WalCheckpointer::WalCheckpointer(std::string path)
    : path_(std::move(path)), thread_([this] { Run(); }) {}

WalCheckpointer::~WalCheckpointer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void WalCheckpointer::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
  }
  wake_.notify_one();
}

void WalCheckpointer::Run() {
  sqlite3* db = nullptr;
  while (true) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return requested_ || stopping_; });
      if (stopping_) break;
      requested_ = false;
    }
    std::string error;
    if (db == nullptr &&
        !OpenStore(path_, StoreAccess::kWrite, &db, &error, std::chrono::milliseconds(0))) {
      continue;  // asked again with the next request
    }
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  }
  sqlite3_close(db);
}
