#include "shareextension/core/share_extension_model.h"

#include "platform/translatable_text.h"

namespace tavrel {
namespace {

using namespace share_extension_state;

constexpr const char* noContextText =
    TAVREL_TRANSLATE_NOOP("Core", "The share request is no longer available.");
constexpr const char* rejectedWithoutMessageText =
    TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t accept the shared items.");

}  // namespace

std::string ShareExtensionHandoffError::localizedDescription() const {
  switch (kind) {
    case Kind::rejected:
    case Kind::launchFailed:
      return message;
    case Kind::applicationUnavailable:
      return TAVREL_TRANSLATE_NOOP("Core", "Tavrel couldn’t be opened. Open the app and try again.");
    case Kind::acknowledgementTimedOut:
      return TAVREL_TRANSLATE_NOOP("Core", "Tavrel didn’t respond. Open the app and try again.");
  }
  return {};
}

ShareExtensionModel::ShareExtensionModel(Services services)
    : services_(std::move(services)), lifetime_(std::make_shared<ShareExtensionModel*>(this)) {
  logger_.info("Share extension model initialized");
}

ShareExtensionModel::~ShareExtensionModel() {
  lifetime_.reset();
  if (task_) task_->request_stop();
}

std::stop_token ShareExtensionModel::beginTask() {
  if (task_) task_->request_stop();
  task_.emplace();
  return task_->get_token();
}

void ShareExtensionModel::start() {
  logger_.info("Starting attachment loading");
  const auto stop = beginTask();
  state_.set(Loading{});
  Weak weak = lifetime_;
  services_.mainQueue.post([weak, stop] {
    if (auto self = weak.lock()) (*self)->runLoad(stop);
  });
}

void ShareExtensionModel::runLoad(std::stop_token stop) {
  if (stop.stop_requested()) return;
  const auto context = services_.extensionContext.lock();
  if (!context) return fail(noContextText, std::nullopt);
  Weak weak = lifetime_;
  services_.loader.load(context->inputItems(), services_.loader.representationTimeout, services_.mainQueue, stop,
                        [weak, stop](ShareExtensionLoadOutcome outcome) {
                          if (auto self = weak.lock()) (*self)->finishLoad(stop, std::move(outcome));
                        });
}

void ShareExtensionModel::finishLoad(std::stop_token stop, ShareExtensionLoadOutcome outcome) {
  if (std::holds_alternative<ShareExtensionLoadCancelled>(outcome)) {
    logger_.info("Attachment loading task was cancelled");
    return;
  }
  // A load overtaken by a newer task or a cancel ends silently, whatever it found.
  if (stop.stop_requested()) return;
  if (auto* error = std::get_if<ShareExtensionItemLoaderError>(&outcome)) {
    logger_.error("Attachment loading failed: {}", platform::publicArg(error->localizedDescription()));
    return fail(error->localizedDescription(), std::nullopt);
  }
  auto items = std::get<Items>(std::move(outcome));
  ShareHandoffRequest request{1, platform::Uuid::generate(), services_.now(), {}};
  for (const auto& item : items) request.items.push_back(item.handoffItem);
  request_ = std::move(request);
  state_.set(Ready{std::move(items)});
  logger_.info("Attachment loading completed");
}

void ShareExtensionModel::createLink() {
  const auto* ready = std::get_if<Ready>(&state_.value());
  if (!ready || !request_) return;
  Items items = ready->items;
  const auto stop = beginTask();
  state_.set(HandingOff{items});
  Weak weak = lifetime_;
  services_.mainQueue.post([weak, stop, request = *request_, items] {
    if (auto self = weak.lock()) (*self)->runHandoff(stop, request, items);
  });
}

void ShareExtensionModel::runHandoff(std::stop_token stop, ShareHandoffRequest request, Items items) {
  if (stop.stop_requested()) return;
  auto storage = services_.makeStorage();
  if (!storage) return fail(storage.error().localizedDescription(), items);
  storage_ = *storage;
  if (auto purged = storage_->removeStaleEntries(services_.now()); !purged) {
    return fail(purged.error().localizedDescription(), items);
  }
  // A late answer to an earlier attempt with this request settles it without asking again.
  auto earlier = storage_->readAcknowledgement(request.id);
  if (!earlier) return fail(earlier.error().localizedDescription(), items);
  if (*earlier) return handle(**earlier, items);
  if (auto written = storage_->write(request); !written) return fail(written.error().localizedDescription(), items);
  // Without a session bus the program still scans when it is opened below.
  if (services_.signalling) services_.signalling->post();
  Weak weak = lifetime_;
  services_.applicationOpener->openMainApplication(
      [weak, stop, id = request.id, items](platform::Expected<platform::Unit, ShareExtensionHandoffError> opened) {
        auto self = weak.lock();
        if (!self || stop.stop_requested()) return;
        if (!opened) return (*self)->fail(opened.error().localizedDescription(), items);
        const auto deadline = (*self)->services_.mainQueue.clock().now() + acknowledgementTimeout;
        (*self)->awaitAcknowledgement(stop, id, deadline, items);
      });
}

void ShareExtensionModel::awaitAcknowledgement(std::stop_token stop, platform::Uuid id, platform::TimePoint deadline,
                                               Items items) {
  if (services_.mainQueue.clock().now() >= deadline) {
    return fail(ShareExtensionHandoffError{ShareExtensionHandoffError::Kind::acknowledgementTimedOut, {}}
                    .localizedDescription(),
                items);
  }
  if (stop.stop_requested()) return;
  auto acknowledgement = storage_->readAcknowledgement(id);
  if (!acknowledgement) return fail(acknowledgement.error().localizedDescription(), items);
  if (*acknowledgement) return handle(**acknowledgement, items);
  Weak weak = lifetime_;
  services_.mainQueue.postDelayed(acknowledgementPollInterval, [weak, stop, id, deadline, items] {
    auto self = weak.lock();
    if (!self || stop.stop_requested()) return;
    (*self)->awaitAcknowledgement(stop, id, deadline, items);
  });
}

void ShareExtensionModel::handle(const ShareHandoffAcknowledgement& acknowledgement, const Items& items) {
  if (acknowledgement.outcome == ShareHandoffAcknowledgementOutcome::accepted) {
    if (auto context = services_.extensionContext.lock()) context->completeRequest();
    return;
  }
  fail(acknowledgement.message.value_or(rejectedWithoutMessageText), items);
}

void ShareExtensionModel::fail(std::string message, std::optional<Items> items) {
  state_.set(Failed{std::move(message), std::move(items)});
}

void ShareExtensionModel::retry() {
  std::optional<Items> items;
  if (const auto* ready = std::get_if<Ready>(&state_.value())) items = ready->items;
  else if (const auto* handingOff = std::get_if<HandingOff>(&state_.value())) items = handingOff->items;
  else if (const auto* failed = std::get_if<Failed>(&state_.value())) items = failed->items;
  if (!items) return start();
  state_.set(Ready{std::move(*items)});
  createLink();
}

void ShareExtensionModel::cancel() {
  if (task_) task_->request_stop();
  const auto context = services_.extensionContext.lock();
  // Withdrawing the request and the program taking it both remove its file; only one can. When the
  // program was first, its answer is already there: an acceptance means the files are on their way,
  // and the share ends as sent, never as cancelled.
  if (request_ && storage_ && !storage_->removeRequestFiles(request_->id)) {
    const auto answer = storage_->readAcknowledgement(request_->id);
    if (answer && *answer && (*answer)->outcome == ShareHandoffAcknowledgementOutcome::accepted) {
      logger_.info("Cancel came after Tavrel had accepted the items; they are being sent");
      if (context) context->completeRequest();
      return;
    }
  }
  if (context) context->cancelRequest();
}

}  // namespace tavrel
