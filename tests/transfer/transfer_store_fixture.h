#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/manual_main_queue.h"
#include "support/fake_transfer_services.h"
#include "support/temporary_directory.h"
#include "transfer/transfer_store.h"

namespace tavrel::testing {

// A store wired to fakes that answer through a manual queue; files live in a temporary folder.
class TransferStoreTest : public ::testing::Test {
 public:
  TransferStoreTest() { rebuild(); }

  void rebuild() {
    store.reset();
    preparer = std::make_shared<FakeTransferFilePreparer>(queue);
    engine = std::make_shared<FakeUploadEngine>(queue);
    picker = std::make_shared<FakeTransferFilePicker>(queue);
    opener = std::make_shared<RecordingLinkOpener>();
    clipboard = std::make_shared<RecordingClipboard>();
    notifier = std::make_shared<RecordingTransferNotifier>();
    completions.clear();
    released.clear();
    itemIDs.clear();
    runIDs.clear();
    canSend = true;

    TransferStore::Services services{preparer, engine, picker, opener, clipboard, notifier,
                                     ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                     std::make_shared<ImmediateTransferClock>()};
    TransferStore::Closures closures;
    closures.transferDefaults = [this] { return defaults; };
    closures.canInitiateTransfer = [this] { return canSend; };
    closures.onCompletedTransfer = [this](const CompletedTransfer& completed) { completions.push_back(completed); };
    closures.onSourceAccessReleased = [this](const TransferSourceAccessID& id) { released.push_back(id); };
    closures.makeRunID = [this] { return runIDs.emplace_back(UploadRunID::generate()); };
    closures.makeTransferItemID = [this] { return itemIDs.emplace_back(TransferItemID::generate()); };
    store = std::make_unique<TransferStore>(queue, std::move(services), std::move(closures));
  }

  const TransferFeatureState& state() const { return store->state(); }
  void send(TransferAction action) { store->send(std::move(action)); }
  void settle() { queue.runUntilIdle(); }

  std::filesystem::path file(const std::string& name, const std::string& contents = "hello") {
    return directory.writeFile(name, contents);
  }

  const TransferReviewState& review() const {
    const auto* found = reviewState(state().phase);
    if (!found) throw std::logic_error("not reviewing");
    return *found;
  }
  const ActiveUpload& upload() const {
    const auto* found = activeUpload(state().phase);
    if (!found) throw std::logic_error("not uploading");
    return *found;
  }
  bool isReviewReady() const {
    const auto* found = reviewState(state().phase);
    return found && std::holds_alternative<review_preparation::Ready>(found->preparation);
  }

  // Queues one file and returns its item; the queue advances as it would.
  TransferItemID enqueue(const std::string& name,
                         TransferStartPolicy policy = TransferStartPolicy::automatic) {
    send(transfer_action::EnqueueURLs{{file(name)}, policy});
    return itemIDs.back();
  }
  TransferItemID submit(const std::string& name, const TransferSourceAccessID& access) {
    send(transfer_action::EnqueueSubmission{{{file(name)}, TransferStartPolicy::automatic, access}});
    return itemIDs.back();
  }

  // An item whose upload is under way.
  TransferItemID startUploading(const std::string& name) {
    const auto id = enqueue(name);
    settle();
    preparer->succeed();
    settle();
    return id;
  }
  // An item whose upload failed, waiting in review for a retry.
  TransferItemID failUploading(const std::string& name, const std::string& message = "The network went away.") {
    const auto id = startUploading(name);
    engine->fail(message);
    settle();
    return id;
  }
  // A chooser-selected file ready for review.
  TransferItemID reviewReady(const std::string& name) {
    send(transfer_action::OpenChooser{});
    send(transfer_action::SelectedURLs{{file(name)}, TransferStartPolicy::requiresReview});
    settle();
    preparer->succeed();
    settle();
    return itemIDs.back();
  }

  platform::ManualMainQueue queue;
  TemporaryDirectory directory;
  std::shared_ptr<FakeTransferFilePreparer> preparer;
  std::shared_ptr<FakeUploadEngine> engine;
  std::shared_ptr<FakeTransferFilePicker> picker;
  std::shared_ptr<RecordingLinkOpener> opener;
  std::shared_ptr<RecordingClipboard> clipboard;
  std::shared_ptr<RecordingTransferNotifier> notifier;

  bool canSend = true;
  TransferDefaults defaults{7, TransferRegion::na, false, false, std::nullopt, true};
  std::vector<CompletedTransfer> completions;
  std::vector<TransferSourceAccessID> released;
  std::vector<TransferItemID> itemIDs;
  std::vector<UploadRunID> runIDs;
  std::unique_ptr<TransferStore> store;
};

}  // namespace tavrel::testing
