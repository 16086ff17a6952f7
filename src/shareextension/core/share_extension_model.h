#pragma once

// The state machine behind the share sheet: loads what the file manager handed over, offers it for
// review, and on Create Link hands it to the running program through the shared container: writes the
// request, sends the handoff signal, opens the program, and waits up to 15 seconds for its answer.
// "Accepted" ends the share program; a rejection, a time-out or any error is shown with Retry.
//
//   loading ──▶ ready(items) ──createLink──▶ handingOff(items) ──accepted──▶ (request completed)
//      │                                          │ rejected / timed out / error
//      └─ error ─▶ failed(no items)               └─▶ failed(items) ──retry──▶ handingOff(items)
//
// A retry hands off the same request again, so an answer that came after the previous attempt gave up
// is collected first instead of writing the request again.
//
// IMPORTANT: Thread-safety. Main thread only: every operation, state change and observer. Its tasks
// are main-queue closures that hold the model weakly and stop once it is gone or their task was
// replaced or cancelled; waiting runs on the main queue's clock, so tests move it virtually.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "platform/expected.h"
#include "platform/logger.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "shareextension/core/share_extension_item_loader.h"
#include "sharehandoff/share_handoff_signal.h"
#include "sharehandoff/share_handoff_storage.h"

namespace tavrel {

// What the share program was started with, and how it ends.
class ShareExtensionContext {
 public:
  virtual ~ShareExtensionContext() = default;
  virtual std::vector<ShareExtensionAttachment> inputItems() const = 0;
  // The hand-off was accepted: the share program closes.
  virtual void completeRequest() = 0;
  // The user cancelled.
  virtual void cancelRequest() = 0;
};

struct ShareExtensionHandoffError {
  enum class Kind { rejected, applicationUnavailable, acknowledgementTimedOut, launchFailed };
  Kind kind = Kind::rejected;
  std::string message;  // rejected: the program's text; launchFailed: the system's

  std::string localizedDescription() const;
  friend bool operator==(const ShareExtensionHandoffError&, const ShareExtensionHandoffError&) = default;
};

// Starts or activates the program. Live: its desktop entry.
class ShareApplicationOpening {
 public:
  using Completion = std::function<void(platform::Expected<platform::Unit, ShareExtensionHandoffError>)>;
  virtual ~ShareApplicationOpening() = default;
  // The completion runs once on the main thread, never inside the call.
  virtual void openMainApplication(Completion completion) = 0;
};

namespace share_extension_state {
struct Ready {
  std::vector<LoadedShareExtensionItem> items;
  friend bool operator==(const Ready&, const Ready&) = default;
};
struct HandingOff {
  std::vector<LoadedShareExtensionItem> items;
  friend bool operator==(const HandingOff&, const HandingOff&) = default;
};
struct Failed {
  std::string message;
  std::optional<std::vector<LoadedShareExtensionItem>> items;  // none when loading failed
  friend bool operator==(const Failed&, const Failed&) = default;
};
struct Loading {
  friend bool operator==(const Loading&, const Loading&) = default;
};
}  // namespace share_extension_state

class ShareExtensionModel {
 public:
  using State = std::variant<share_extension_state::Ready, share_extension_state::HandingOff,
                             share_extension_state::Failed, share_extension_state::Loading>;
  using StorageFactory = std::function<platform::Expected<ShareHandoffStorage, ShareHandoffStorageError>()>;

  static constexpr std::chrono::seconds acknowledgementTimeout{15};
  static constexpr std::chrono::milliseconds acknowledgementPollInterval{100};

  struct Services {
    platform::MainQueue& mainQueue;
    std::weak_ptr<ShareExtensionContext> extensionContext;
    std::shared_ptr<ShareHandoffSignalling> signalling;
    std::shared_ptr<ShareApplicationOpening> applicationOpener;
    StorageFactory makeStorage = [] { return ShareHandoffStorage::make(); };
    std::function<std::chrono::system_clock::time_point()> now = [] { return std::chrono::system_clock::now(); };
    ShareExtensionItemLoader loader{};
  };

  explicit ShareExtensionModel(Services services);
  // Stops the running task; touches no file and does not end the request.
  ~ShareExtensionModel();
  ShareExtensionModel(const ShareExtensionModel&) = delete;
  ShareExtensionModel& operator=(const ShareExtensionModel&) = delete;

  const State& state() const { return state_.value(); }
  [[nodiscard]] platform::Subscription subscribe(std::function<void(const State&)> observer) {
    return state_.subscribe(std::move(observer));
  }
  const std::optional<ShareHandoffRequest>& request() const { return request_; }

  // Loads (again) from the start.
  void start();
  // Hands the loaded items off; only while ready.
  void createLink();
  // After a failure: hands the same items off again, or reloads when none were loaded.
  void retry();
  // Abandons the share: removes the request's files and ends the request. When the program had
  // taken the request first, its answer is read instead: an acceptance ends the request as accepted.
  void cancel();

 private:
  using Weak = std::weak_ptr<ShareExtensionModel*>;
  using Items = std::vector<LoadedShareExtensionItem>;

  std::stop_token beginTask();
  void runLoad(std::stop_token stop);
  void finishLoad(std::stop_token stop, ShareExtensionLoadOutcome outcome);
  void runHandoff(std::stop_token stop, ShareHandoffRequest request, Items items);
  void awaitAcknowledgement(std::stop_token stop, platform::Uuid id, platform::TimePoint deadline, Items items);
  void handle(const ShareHandoffAcknowledgement& acknowledgement, const Items& items);
  void fail(std::string message, std::optional<Items> items);

  Services services_;
  platform::Logger logger_{"com.tavrel.macos.share", "Lifecycle"};
  platform::Observable<State> state_{share_extension_state::Loading{}};
  std::optional<ShareHandoffStorage> storage_;
  std::optional<ShareHandoffRequest> request_;
  std::optional<std::stop_source> task_;
  std::shared_ptr<ShareExtensionModel*> lifetime_;
};

}  // namespace tavrel
