#pragma once

// How the transfer store drives uploads.
//
// IMPORTANT: Threading and callbacks. Every service interface of the transfer core follows one
// model:
// - The stores call every operation on the main thread. An operation returns at once; the work
//   happens elsewhere (an engine's own serial worker, a worker thread).
// - Callbacks (events and completions) run on the main thread, posted through the main queue.
//   They never run synchronously inside the call that started the work, so a caller may start
//   work from inside a state change and handle the answer later as a new action.
// - A completion is called exactly once. Its callbacks are the only way results come back.
// - Cancellation is cooperative: the caller requests stop on the token it passed. The work ends
//   as soon as it can and completes with `Cancelled`; work that had already finished may still
//   complete with its real outcome. A caller that requested stop ignores whatever comes back.
// - Implementations keep no reference to the store; callbacks capture what they need.

#include <functional>
#include <stop_token>
#include <string>
#include <variant>

#include "transfer/cancelled.h"
#include "transfer/completed_transfer.h"
#include "transfer/prepared_transfer.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {

struct UploadEngineInput {
  PreparedTransfer preparedTransfer;

  friend bool operator==(const UploadEngineInput&, const UploadEngineInput&) = default;
};

namespace upload_event {
struct Progress {
  UploadProgressSnapshot snapshot;
  friend bool operator==(const Progress&, const Progress&) = default;
};
struct Completed {
  CompletedTransfer transfer;
  friend bool operator==(const Completed&, const Completed&) = default;
};
}  // namespace upload_event

// What an engine reports while a run goes on: progress, then once the completion.
using UploadEvent = std::variant<upload_event::Progress, upload_event::Completed>;

// A failed run, with the user-facing text of its cause.
struct UploadError {
  std::string localizedDescription;
  // False when resuming cannot get past the cause, only a fresh upload can: the service no longer
  // holds the transfer or refuses its resume, or a file is no longer the one that was prepared.
  bool resumable = true;

  friend bool operator==(const UploadError&, const UploadError&) = default;
};

namespace upload_outcome {
// The service completed the transfer; the `completed` event was delivered before this.
struct Finished {
  friend bool operator==(const Finished&, const Finished&) = default;
};
struct Failed {
  UploadError error;
  friend bool operator==(const Failed&, const Failed&) = default;
};
}  // namespace upload_outcome

// How a run ended.
using UploadOutcome = std::variant<upload_outcome::Finished, upload_outcome::Failed, Cancelled>;

// Creates, uploads, resumes, completes and discards remote transfers, one at a time.
//
// IMPORTANT: Order. The engine is serialised: it starts operations in the order they were called,
// and an operation called after a stop request begins only once the stopped run has ended (a
// discard after a cancelled upload discards what that upload left). A run delivers its events on
// the main thread in order, and none after its completion.
class UploadEngine {
 public:
  using EventHandler = std::function<void(const UploadEvent&)>;
  using Completion = std::function<void(UploadOutcome)>;

  virtual ~UploadEngine() = default;

  // Uploads the input afresh: `progress` events while it runs, one `completed` event when the
  // service has completed the transfer, then `onFinished` with Finished. A failure completes with
  // Failed and leaves the transfer for resume().
  virtual void upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                      Completion onFinished) = 0;

  // The same for the transfer that the last failed upload or resume left on the service; with
  // nothing to resume it uploads the input afresh.
  virtual void resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                      Completion onFinished) = 0;

  // Forgets the current transfer and deletes it on the service when there is one. Never fails;
  // `onDiscarded` runs once it is done (at once, posted, when nothing is current).
  virtual void discard(std::function<void()> onDiscarded) = 0;
};

}  // namespace tavrel
