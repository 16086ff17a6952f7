#include "support/fake_transfer_services.h"

#include <stdexcept>

namespace tavrel::testing {
namespace {

template <typename Entries>
std::size_t indexOr(const Entries& entries, std::optional<std::size_t> index) {
  if (entries.empty()) throw std::logic_error("nothing was requested");
  const std::size_t chosen = index.value_or(entries.size() - 1);
  if (chosen >= entries.size()) throw std::out_of_range("no such request");
  return chosen;
}

}  // namespace

PreparedTransfer makePreparedTransfer(const TransferSelection& selection, const TransferDefaults& defaults,
                                      std::optional<std::size_t> fileCount, std::int64_t bytesPerFile) {
  PreparedTransfer transfer;
  transfer.sourceSelection = selection;
  transfer.title = selection.items.empty() ? "Untitled Transfer" : selection.items.front().displayName;
  transfer.defaults = defaults;
  const std::size_t count = fileCount.value_or(std::max<std::size_t>(selection.items.size(), 1));
  for (std::size_t i = 0; i < count; ++i) {
    TransferFile file;
    file.referenceID = platform::Uuid::generate().toString();
    file.sourceURL = selection.items.empty() ? std::filesystem::path("/missing")
                                             : selection.items[i % selection.items.size()].url;
    file.relativePath = "file-" + std::to_string(i);
    file.size = bytesPerFile;
    file.mimeType = "application/octet-stream";
    transfer.files.push_back(std::move(file));
  }
  return transfer;
}

void FakeTransferFilePreparer::prepare(TransferSelection selection, TransferDefaults defaults, std::stop_token stop,
                                       Completion onPrepared) {
  requests_.push_back({std::move(selection), std::move(defaults), std::move(stop), std::move(onPrepared)});
}

void FakeTransferFilePreparer::answer(std::size_t index, PreparationOutcome outcome) {
  auto completion = requests_.at(index).onPrepared;
  mainQueue_.post([completion, outcome = std::move(outcome)] { completion(outcome); });
}

void FakeTransferFilePreparer::succeed(std::optional<std::size_t> index) {
  const std::size_t chosen = indexOr(requests_, index);
  const auto& request = requests_[chosen];
  answer(chosen, makePreparedTransfer(request.selection, request.defaults));
}

void FakeTransferFilePreparer::fail(TransferPreparationError error, std::optional<std::size_t> index) {
  answer(indexOr(requests_, index), std::move(error));
}

void FakeUploadEngine::upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                              Completion onFinished) {
  runs_.push_back({std::move(input), false, std::move(stop), std::move(onEvent), std::move(onFinished)});
}

void FakeUploadEngine::resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                              Completion onFinished) {
  runs_.push_back({std::move(input), true, std::move(stop), std::move(onEvent), std::move(onFinished)});
}

void FakeUploadEngine::discard(std::function<void()> onDiscarded) {
  ++discardCount_;
  if (answersDiscardsAtOnce_) {
    mainQueue_.post(std::move(onDiscarded));
  } else {
    pendingDiscards_.push_back(std::move(onDiscarded));
  }
}

void FakeUploadEngine::finishDiscard() {
  if (pendingDiscards_.empty()) throw std::logic_error("no discard is waiting");
  mainQueue_.post(std::move(pendingDiscards_.front()));
  pendingDiscards_.erase(pendingDiscards_.begin());
}

const FakeUploadEngine::Run& FakeUploadEngine::run(std::optional<std::size_t> index) const {
  return runs_[indexOr(runs_, index)];
}

void FakeUploadEngine::progress(double fraction, std::optional<std::size_t> index) {
  const Run& chosen = run(index);
  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = chosen.input.preparedTransfer;
  const std::int64_t total = snapshot.preparedTransfer->totalBytes();
  snapshot.bytesUploaded = static_cast<std::int64_t>(static_cast<double>(total) * fraction);
  snapshot.bytesPerSecond = 50;
  snapshot.progress = fraction;
  snapshot.currentFileIndex = 0;
  progress(std::move(snapshot), index);
}

void FakeUploadEngine::progress(UploadProgressSnapshot snapshot, std::optional<std::size_t> index) {
  auto onEvent = run(index).onEvent;
  mainQueue_.post([onEvent, snapshot = std::move(snapshot)] { onEvent(upload_event::Progress{snapshot}); });
}

void FakeUploadEngine::complete(CompletedTransfer completed, std::optional<std::size_t> index) {
  const Run& chosen = run(index);
  auto onEvent = chosen.onEvent;
  auto onFinished = chosen.onFinished;
  mainQueue_.post([onEvent, onFinished, completed = std::move(completed)] {
    onEvent(upload_event::Completed{completed});
    onFinished(upload_outcome::Finished{});
  });
}

CompletedTransfer FakeUploadEngine::completedTransferOf(std::size_t index, std::optional<std::string> slug,
                                                        std::optional<std::string> transferID) const {
  return CompletedTransfer{runs_.at(index).input.preparedTransfer, std::move(transferID), std::move(slug),
                           std::nullopt};
}

void FakeUploadEngine::fail(std::string message, std::optional<std::size_t> index, bool resumable) {
  auto onFinished = run(index).onFinished;
  mainQueue_.post([onFinished, message = std::move(message), resumable] {
    onFinished(upload_outcome::Failed{{message, resumable}});
  });
}

void FakeUploadEngine::endCancelled(std::optional<std::size_t> index) {
  auto onFinished = run(index).onFinished;
  mainQueue_.post([onFinished] { onFinished(Cancelled{}); });
}

void FakeTransferFilePicker::pickItems(TransferFilePickerRequest request, std::stop_token stop, Completion onPicked) {
  requests_.push_back({request, std::move(stop), std::move(onPicked)});
}

void FakeTransferFilePicker::answer(std::optional<std::vector<std::filesystem::path>> urls,
                                    std::optional<std::size_t> index) {
  auto completion = requests_[indexOr(requests_, index)].onPicked;
  mainQueue_.post([completion, urls = std::move(urls)] { completion(urls); });
}

void FakeRecentTransfersAPI::recentTransfers(std::stop_token stop, Completion onLoaded) {
  requests_.push_back({std::move(stop), std::move(onLoaded)});
}

void FakeRecentTransfersAPI::answer(RecentTransfersOutcome outcome, std::optional<std::size_t> index) {
  auto completion = requests_[indexOr(requests_, index)].onLoaded;
  mainQueue_.post([completion, outcome = std::move(outcome)] { completion(outcome); });
}

bool ImmediateTransferClock::sleep(platform::Duration duration, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  sleeps_.push_back(duration);
  return !stop.stop_requested();
}

std::vector<platform::Duration> ImmediateTransferClock::sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}

}  // namespace tavrel::testing
