#pragma once

// Fakes of the transfer core's service interfaces. Each records what it was asked and answers only
// when the test says so, by posting the answer to the main queue: never inside the call, as the
// real services do.

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/main_queue.h"
#include "transfer/clipboard_writing.h"
#include "transfer/external_link_opening.h"
#include "transfer/recent_transfers_api.h"
#include "transfer/transfer_clock.h"
#include "transfer/transfer_file_picking.h"
#include "transfer/transfer_file_preparing.h"
#include "transfer/transfer_notifying.h"
#include "transfer/upload_engine.h"

namespace tavrel::testing {

// A prepared transfer of `selection` with one file of `bytesPerFile` bytes per item (or `fileCount`
// files when given), titled after the first item.
PreparedTransfer makePreparedTransfer(const TransferSelection& selection, const TransferDefaults& defaults,
                                      std::optional<std::size_t> fileCount = std::nullopt,
                                      std::int64_t bytesPerFile = 100);

class FakeTransferFilePreparer final : public TransferFilePreparing {
 public:
  struct Request {
    TransferSelection selection;
    TransferDefaults defaults;
    std::stop_token stop;
    Completion onPrepared;
  };

  explicit FakeTransferFilePreparer(platform::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  void prepare(TransferSelection selection, TransferDefaults defaults, std::stop_token stop,
               Completion onPrepared) override;

  const std::vector<Request>& requests() const { return requests_; }
  const Request& lastRequest() const { return requests_.back(); }

  // Posts the outcome of a request (the last one by default).
  void answer(std::size_t index, PreparationOutcome outcome);
  // Posts a prepared transfer of the request's own selection and defaults.
  void succeed(std::optional<std::size_t> index = std::nullopt);
  void fail(TransferPreparationError error, std::optional<std::size_t> index = std::nullopt);

 private:
  platform::MainQueue& mainQueue_;
  std::vector<Request> requests_;
};

class FakeUploadEngine final : public UploadEngine {
 public:
  struct Run {
    UploadEngineInput input;
    bool isResume = false;
    std::stop_token stop;
    EventHandler onEvent;
    Completion onFinished;
  };

  explicit FakeUploadEngine(platform::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  void upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  void resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  void discard(std::function<void()> onDiscarded) override;

  const std::vector<Run>& runs() const { return runs_; }
  const Run& lastRun() const { return runs_.back(); }
  std::size_t discardCount() const { return discardCount_; }

  // When false, discards wait for finishDiscards(); when true (the default) each answers through
  // the queue right away.
  void setAnswersDiscardsAtOnce(bool atOnce) { answersDiscardsAtOnce_ = atOnce; }
  std::size_t pendingDiscards() const { return pendingDiscards_.size(); }
  // Posts the answer of the oldest waiting discard.
  void finishDiscard();

  // Each posts to the main queue, for a run (the last one by default).
  void progress(double fraction, std::optional<std::size_t> index = std::nullopt);
  void progress(UploadProgressSnapshot snapshot, std::optional<std::size_t> index = std::nullopt);
  // The completed event, then the Finished outcome.
  void complete(CompletedTransfer completed, std::optional<std::size_t> index = std::nullopt);
  CompletedTransfer completedTransferOf(std::size_t index, std::optional<std::string> slug = "slug-1",
                                        std::optional<std::string> transferID = "transfer-1") const;
  // `resumable` false: a cause only a fresh upload gets past (the service lost the transfer).
  void fail(std::string message, std::optional<std::size_t> index = std::nullopt, bool resumable = true);
  void endCancelled(std::optional<std::size_t> index = std::nullopt);

 private:
  const Run& run(std::optional<std::size_t> index) const;

  platform::MainQueue& mainQueue_;
  std::vector<Run> runs_;
  std::size_t discardCount_ = 0;
  bool answersDiscardsAtOnce_ = true;
  std::vector<std::function<void()>> pendingDiscards_;
};

class FakeTransferFilePicker final : public TransferFilePicking {
 public:
  struct Request {
    TransferFilePickerRequest request;
    std::stop_token stop;
    Completion onPicked;
  };

  explicit FakeTransferFilePicker(platform::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  void pickItems(TransferFilePickerRequest request, std::stop_token stop, Completion onPicked) override;

  const std::vector<Request>& requests() const { return requests_; }
  // Posts the answer of a request (the last one by default); none means the panel was dismissed.
  void answer(std::optional<std::vector<std::filesystem::path>> urls, std::optional<std::size_t> index = std::nullopt);

 private:
  platform::MainQueue& mainQueue_;
  std::vector<Request> requests_;
};

class FakeRecentTransfersAPI final : public RecentTransfersAPI {
 public:
  struct Request {
    std::stop_token stop;
    Completion onLoaded;
  };

  explicit FakeRecentTransfersAPI(platform::MainQueue& mainQueue) : mainQueue_(mainQueue) {}

  void recentTransfers(std::stop_token stop, Completion onLoaded) override;

  const std::vector<Request>& requests() const { return requests_; }
  void answer(RecentTransfersOutcome outcome, std::optional<std::size_t> index = std::nullopt);

 private:
  platform::MainQueue& mainQueue_;
  std::vector<Request> requests_;
};

class RecordingLinkOpener final : public ExternalLinkOpening {
 public:
  void open(const platform::Url& url) override { opened.push_back(url); }
  std::vector<platform::Url> opened;
};

class RecordingClipboard final : public ClipboardWriting {
 public:
  void write(const std::string& text) override { written.push_back(text); }
  std::vector<std::string> written;
};

class RecordingTransferNotifier final : public TransferNotifying {
 public:
  void requestAuthorizationIfNeeded() override { ++authorizationRequests; }
  void notify(const TransferNotification& notification) override { notifications.push_back(notification); }
  int authorizationRequests = 0;
  std::vector<TransferNotification> notifications;
};

// Returns at once (false when stopped) and remembers every duration asked for.
class ImmediateTransferClock final : public TransferClock {
 public:
  bool sleep(platform::Duration duration, std::stop_token stop) override;
  std::vector<platform::Duration> sleeps() const;

 private:
  mutable std::mutex mutex_;
  std::vector<platform::Duration> sleeps_;
};

}  // namespace tavrel::testing
