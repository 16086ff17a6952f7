#pragma once

// The real transfer, recent-transfers and authentication stores on fakes and a manual queue, as
// the menu bar's tests drive them.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "account/authentication_store.h"
#include "menubar/menu_bar_controller_actions.h"
#include "menubar/menu_bar_settings.h"
#include "platform/manual_main_queue.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/temporary_directory.h"
#include "transfer/recent_transfers_store.h"
#include "transfer/transfer_store.h"

namespace tavrel::testing {

// Answers the sign-in requests at once, on the caller's worker thread. Thread-safe.
class FakeAuthenticationAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view code, std::string_view verifier, std::stop_token stop) override;
  TokenResult refresh(std::string_view refreshToken, std::stop_token stop) override;
  void revoke(std::string_view, std::stop_token) override {}
  BootstrapResult bootstrap(std::string_view accessToken, std::stop_token stop) override;

  void setRefreshFailure(std::optional<AuthenticationError> failure);
  void setCanInitiateTransfer(bool canInitiate);
  void setUser(std::optional<std::string> name, std::string email);

 private:
  TokenResult token();

  std::mutex mutex_;
  std::optional<AuthenticationError> refreshFailure_;
  bool canInitiateTransfer_ = true;
  std::optional<std::string> name_ = "Ada Lovelace";
  std::string email_ = "ada@example.com";
  int issued_ = 0;
};

// A browser that never comes back unless cancelled.
class WaitingBrowser final : public WebAuthenticating {
 public:
  explicit WaitingBrowser(platform::MainQueue& queue) : queue_(queue) {}
  void authenticate(const platform::Url&, std::string_view, Completion completion) override;
  void cancel() override;

 private:
  platform::MainQueue& queue_;
  Completion pending_;
};

// Settings in memory.
class FakeMenuBarSettings final : public MenuBarSettings {
 public:
  bool isQuickDropEnabled() const override { return quickDrop; }
  LaunchAtLoginStatus launchAtLoginStatus() const override { return status; }
  std::optional<std::string> launchAtLoginFailureMessage() const override { return failureMessage; }
  void setLaunchAtLoginEnabled(bool enabled) override { requests.push_back(enabled); }
  void openLoginItemsSettings() override { ++settingsOpened; }
  platform::Subscription subscribe(std::function<void()> onChange) override;
  // Changes the open-at-login state and tells the subscribers.
  void set(LaunchAtLoginStatus newStatus, std::optional<std::string> message = std::nullopt);

  bool quickDrop = false;
  LaunchAtLoginStatus status = LaunchAtLoginStatus::disabled;
  std::optional<std::string> failureMessage;
  std::vector<bool> requests;
  int settingsOpened = 0;

 private:
  platform::Observable<int> changes_{0};
};

// What the program's callbacks were asked.
struct RecordedActions {
  MenuBarControllerActions actions();
  std::vector<std::string> calls;  // "willShow", "viewTransfers", "viewRecent:<id>", "copy:<slug>", ...
};

class MenuBarStoresTest : public ::testing::Test {
 public:
  MenuBarStoresTest();
  ~MenuBarStoresTest() override;

  // The authentication store in each state.
  void signOut();
  void beginSignIn();
  void signIn(bool canInitiateTransfer = true);
  void becomeUnavailable();

  // The transfer store in each phase.
  TransferItemID enqueue(const std::string& name);
  TransferItemID startPreparing(const std::string& name);
  TransferItemID reviewReady(const std::string& name);
  TransferItemID startUploading(const std::string& name);
  TransferItemID failUploading(const std::string& name, const std::string& message = "The network went away.");
  void completeUpload();

  // The recent list after a load.
  void loadRecent(std::vector<RecentTransfer> transfers);
  static RecentTransfer recentTransfer(const std::string& id, const std::string& title, std::int64_t fileCount = 1,
                                       std::string slug = "slug");

  void settle() { queue->runUntilIdle(); }
  std::chrono::system_clock::time_point now() const { return wallClock; }

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  TemporaryDirectory directory;
  std::shared_ptr<FakeTransferFilePreparer> preparer;
  std::shared_ptr<FakeUploadEngine> engine;
  std::shared_ptr<FakeTransferFilePicker> picker;
  std::shared_ptr<FakeRecentTransfersAPI> recentAPI;
  std::shared_ptr<FakeAuthenticationAPI> authAPI = std::make_shared<FakeAuthenticationAPI>();
  std::shared_ptr<InMemoryRefreshTokenStore> keychain = std::make_shared<InMemoryRefreshTokenStore>();
  std::shared_ptr<WaitingBrowser> browser;
  std::shared_ptr<AuthenticationStore> authentication;
  std::unique_ptr<RecentTransfersStore> recent;
  std::unique_ptr<TransferStore> store;
  FakeMenuBarSettings settings;
  RecordedActions recorded;
  std::vector<TransferItemID> itemIDs;
  std::chrono::system_clock::time_point wallClock = std::chrono::system_clock::time_point(std::chrono::hours(24 * 365 * 56));
};

}  // namespace tavrel::testing
