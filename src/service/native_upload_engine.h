#pragma once

// The live upload engine: one prepared transfer at a time goes to the transfer service and straight
// to storage.
//
//   upload(input) ─────► runUpload: createTransfer ─► registerFiles ─► (plans check) ─► context set
//                                     │ fails           │ fails: deleteTransfer              │
//                                     ▼                 ▼                                    ▼
//                                   Failed            Failed                           uploadFiles
//
//   resume(input) ─────► runResume: no context ──────────────────────────────────────► runUpload
//                                   context of another transfer ─► forget + deleteTransfer ─► runUpload
//                                   context of this transfer ─► resumeState ─► uploadFiles
//                                                                  │ not resumable: Failed (context kept)
//
//   uploadFiles: (resume: every file storage holds still as prepared, else ChangedFileError)
//                up to filesInFlight files at once, started in file order, each:
//                    skip "completed" / completeFile for "ready_to_complete"
//                    ─► uploadSingle ─► completeFile
//                    ─► uploadMultipart (a window of two parts ─► uploadPartWithRetry
//                                        ─► readPart, uploadPart) ─► completeFile
//                ─► every file done ─► completeTransfer ─► context cleared (if still ours)
//                ─► `completed` event ─► Finished
//                a file's failure stops the others (they end silently) and fails the run once;
//                any failure or stop: Failed / Cancelled, context kept for resume
//
//   discard() ─────► context cleared ─► deleteTransfer (once, outcome ignored) ─► onDiscarded
//
// Every storage URL and multipart layout the service hands out passes the UploadSecurityPolicy
// before a byte is sent. Storage requests and the service calls for resume state, complete file and
// complete transfer go through withRetry: exponential back-off with jitter on the TransferClock;
// create, register and delete are never repeated.
//
// Busy answers (429, 503) halve the files at once, down to one, and each file that completes adds one
// back; a Retry-After is waited out (up to five minutes) before that call is tried again. No more
// than requestsInFlight requests of a run are open at once to one server, and no more than
// partsInFlight parts' bytes are held, however many files are in flight.
//
// IMPORTANT: Threading. Operations are called on the main thread and return at once. They run one
// after another, in call order, on the engine's own worker; the files in flight and the parts of a
// multipart file run beside it on threads of their own, for the length of one run. Events and completions are posted to the main queue:
// progress events in order, the `completed` event after the last of them, then the completion.
// Nothing is posted for a run after its completion. A stopped run ends as Cancelled, never as a
// failure. The context lives in memory only. Destroy the engine on the main thread: a running
// operation is stopped and its completion dropped.

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "platform/main_queue.h"
#include "service/serial_worker.h"
#include "service/transfer_api.h"
#include "service/upload_progress_reporter.h"
#include "service/upload_security_policy.h"
#include "transfer/transfer_clock.h"
#include "transfer/upload_engine.h"

namespace tavrel {

class NativeUploadEngine final : public UploadEngine {
 public:
  // `session` carries the storage uploads only; service calls go through `api`.
  NativeUploadEngine(std::shared_ptr<TransferAPI> api, std::shared_ptr<TransferClock> clock,
                     std::shared_ptr<platform::HttpTransport> session, UploadSecurityPolicy policy,
                     platform::MainQueue& mainQueue);
  ~NativeUploadEngine() override;

  void upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  void resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent, Completion onFinished) override;
  void discard(std::function<void()> onDiscarded) override;

  // Files in flight at once, each in its own steps (sign, PUT, complete): with three round trips a
  // file, the round trip sets the pace unless several go at once. Measured on delayed links
  // (bench/README.md): 24 keeps both servers near requestsInFlight; 32 gains nothing more.
  static constexpr std::size_t filesInFlight = 24;
  // Requests of one run in flight at once to one server (the service, each storage host): what a
  // server can be asked to bear.
  static constexpr std::size_t requestsInFlight = 16;
  // Parts of the whole run held in memory and sent at once, whatever the number of files.
  static constexpr std::size_t partsInFlight = 2;

  // Whether an error is worth another attempt after a pause.
  static bool isRetryable(const std::exception_ptr& error);
  // The pause before retry number `retry` + 1: uniform over [ceiling / 2, ceiling], where the
  // ceiling is 5 s × 2^retry, at most 40 s.
  static platform::Duration retryPause(int retry, std::mt19937_64& random);
  // The register answer's plans in file order, or none unless there is exactly one plan per file.
  // The service answers in the order the files were registered, which is checked first; otherwise
  // the plans are matched by reference id through a sorted index, a few bytes per file.
  static std::optional<std::vector<RemoteFilePlan>> plansInFileOrder(const TransferFileList& files,
                                                                     std::vector<RemoteFilePlan> plans);

 private:
  // The transfer being uploaded or waiting to be resumed. `plans` holds exactly one plan per file.
  // Held once and shared by the run and the engine: it grows with the number of files.
  struct UploadContext {
    PreparedTransfer preparedTransfer;
    std::string transferID;
    std::vector<RemoteFilePlan> plans;
    std::uint64_t generation = 0;  // which registration made it
  };
  struct Run;
  class OriginWindows;

  void start(bool resuming, UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
             Completion onFinished);
  void runUpload(Run& run);
  void runResume(Run& run);
  void uploadFiles(Run& run, const UploadContext& context, const std::optional<RemoteTransferResumeState>& resumeState);
  // One file: its upload (unless storage holds it) and its completion.
  void sendFile(Run& run, const std::string& transferID, const RemoteFilePlan& plan, const TransferFile& file,
                const RemoteFileResumeState* entry, std::stop_token stop);

  void uploadSingle(Run& run, const std::string& transferID, const RemoteFilePlan& plan, const TransferFile& file,
                    std::stop_token stop);
  std::vector<CompletedUploadPart> uploadMultipart(Run& run, const RemoteFilePlan& plan, const TransferFile& file,
                                                   const std::string& transferID,
                                                   std::vector<CompletedUploadPart> heldParts, std::stop_token stop);
  CompletedUploadPart uploadPartWithRetry(Run& run, std::int64_t number, const RemoteFilePlan& plan,
                                          const TransferFile& file, const std::string& transferID,
                                          std::int64_t partSize, std::stop_token stop);
  CompletedUploadPart uploadPart(Run& run, std::int64_t number, std::string& bytes, const RemoteFilePlan& plan,
                                 const std::string& transferID, std::stop_token stop);
  // Reads from the file only while it is still the one preparation saw (ChangedFileError otherwise).
  static std::string readPart(const TransferFile& file, std::int64_t offset, std::int64_t length);

  template <typename Operation>
  auto withRetry(Run& run, int retries, std::stop_token stop, Operation&& operation) -> decltype(operation());
  // One request of the file loop, counted against the run's requests at once to `origin`.
  template <typename Call>
  static auto throughWindow(Run& run, const std::string& origin, std::stop_token stop, Call&& call)
      -> decltype(call());

  std::shared_ptr<const UploadContext> currentContext();
  // Clears the context only while it is still the one `generation` made.
  void clearContext(std::uint64_t generation);
  void deleteQuietly(const std::string& transferID);

  const std::shared_ptr<TransferAPI> api_;
  const std::shared_ptr<TransferClock> clock_;
  const std::shared_ptr<platform::HttpTransport> session_;
  const UploadSecurityPolicy policy_;
  platform::MainQueue& mainQueue_;

  std::mutex mutex_;  // guards context_, nextGeneration_ and random_
  std::shared_ptr<const UploadContext> context_;
  std::uint64_t nextGeneration_ = 1;
  std::mt19937_64 random_;

  std::stop_source lifetime_;
  SerialWorker worker_;  // last: stopped and joined before the fields above go away
};

}  // namespace tavrel
