#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/main_queue.h"
#include "transfer/transfer_file_preparing.h"

namespace tavrel {

// Prepares local files and folders for upload: walks folders, refuses symbolic links anywhere
// (links are reported, never followed), skips empty files, gives each file a fresh reference id,
// a MIME type and a relative path under a unique top-level name, and orders the files by relative
// path. The first problem ends the whole preparation; nothing partial comes back.
//
// IMPORTANT: Thread-safety. prepare() is called on the main thread and runs the walk on a worker
// thread of its own; the completion is posted to the main queue once. Stopping the token ends the
// walk before the next item or folder entry, with `Cancelled`. Destroying the preparer stops and
// joins the walks still running (their completions still arrive, as `Cancelled`).
//
// Only file metadata is read, never contents, and only the list of files is kept in memory; a
// walk holds one open folder per level of nesting.
class LocalTransferFilePreparer final : public TransferFilePreparing {
 public:
  explicit LocalTransferFilePreparer(platform::MainQueue& mainQueue);
  ~LocalTransferFilePreparer() override;
  LocalTransferFilePreparer(const LocalTransferFilePreparer&) = delete;
  LocalTransferFilePreparer& operator=(const LocalTransferFilePreparer&) = delete;

  void prepare(TransferSelection selection, TransferDefaults defaults, std::stop_token stop,
               Completion onPrepared) override;

  // The preparation itself, on the calling thread. Blocks for as long as the walk takes.
  static PreparationOutcome prepareNow(const TransferSelection& selection, const TransferDefaults& defaults,
                                       std::stop_token stop);

  // The name of each item at the top of the transfer, in selection order: its display name, and
  // for a later item with the same display name that name followed by " (n)", n being the first
  // number from the item's occurrence count on that no item is named and no earlier item got.
  static std::vector<std::string> topLevelNames(const TransferSelection& selection);

 private:
  platform::MainQueue& mainQueue_;
  struct Worker {
    std::jthread thread;
    std::shared_ptr<std::atomic<bool>> finished;  // set by the thread as its last step
  };

  std::mutex mutex_;
  std::vector<Worker> workers_;  // finished ones are joined on the next prepare()
};

}  // namespace tavrel
