#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "account/authentication_api.h"
#include "account/oauth_configuration.h"
#include "account/web_authenticating.h"
#include "platform/iso_date.h"
#include "sharehandoff/share_handoff_bookmark.h"
#include "sharehandoff/share_handoff_records.h"
#include "sharehandoff/share_handoff_signal.h"
#include "sharehandoff/share_source_access_registry.h"
#include "support/fake_transfer_services.h"
#include "transfer/transfer_store.h"

namespace tavrel::testing {

// The program's transfer store as the hand-off tests drive it: preparer, engine and notifier as
// given, the rest recorded, sending allowed as `canInitiateTransfer` says, and each source access
// released back to `registry`.
inline std::unique_ptr<TransferStore> handoffTransferStore(platform::MainQueue& queue,
                                                           std::shared_ptr<TransferFilePreparing> preparer,
                                                           std::shared_ptr<UploadEngine> engine,
                                                           std::shared_ptr<TransferNotifying> notifier,
                                                           std::function<bool()> canInitiateTransfer,
                                                           std::shared_ptr<ShareSourceAccessRegistry> registry) {
  TransferStore::Services services{std::move(preparer), std::move(engine),
                                   std::make_shared<FakeTransferFilePicker>(queue),
                                   std::make_shared<RecordingLinkOpener>(), std::make_shared<RecordingClipboard>(),
                                   std::move(notifier), ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                   std::make_shared<ImmediateTransferClock>()};
  TransferStore::Closures closures;
  closures.transferDefaults = [] { return TransferDefaults{7, TransferRegion::na, false, false, std::nullopt, true}; };
  closures.canInitiateTransfer = std::move(canInitiateTransfer);
  closures.onCompletedTransfer = [](const CompletedTransfer&) {};
  closures.onSourceAccessReleased = [registry = std::move(registry)](const TransferSourceAccessID& id) {
    registry->release(id);
  };
  return std::make_unique<TransferStore>(queue, std::move(services), std::move(closures));
}

inline const std::chrono::system_clock::time_point handoffDate = *platform::parseIsoDate("2026-03-04T05:06:07Z");

inline ShareHandoffItem handoffItem(std::string name = "photo.jpg", std::size_t bookmarkSize = 8) {
  return {std::vector<std::uint8_t>(bookmarkSize, 0x41), std::move(name), ShareHandoffItemKind::file, std::nullopt};
}

inline ShareHandoffRequest handoffRequest(std::size_t itemCount = 1) {
  ShareHandoffRequest request{1, platform::Uuid::generate(), handoffDate, {}};
  for (std::size_t index = 0; index < itemCount; ++index) request.items.push_back(handoffItem());
  return request;
}

// An item whose bookmark names `path` as it is now.
inline ShareHandoffItem bookmarkedItem(const std::filesystem::path& path,
                                       ShareHandoffItemKind kind = ShareHandoffItemKind::file) {
  return {makeShareHandoffBookmark(path).value().encoded(), path.filename().string(), kind, std::nullopt};
}

inline std::string readWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets a file's modification time to `age` before `now` (not following links).
inline void makeOlder(const std::filesystem::path& path, std::chrono::system_clock::time_point now,
                      std::chrono::nanoseconds age) {
  const auto since = (now - age).time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
  const timespec when{static_cast<time_t>(seconds.count()),
                      static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
  const timespec times[2] = {when, when};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// The handoff signal inside one process: post() calls every observer on the posting thread.
class InProcessShareHandoffSignal final : public ShareHandoffSignalling {
 public:
  std::unique_ptr<Registration> observe(std::function<void()> handler) override {
    std::lock_guard lock(shared_->mutex);
    const int key = shared_->nextKey++;
    shared_->handlers.emplace(key, std::move(handler));
    return std::make_unique<Observation>(shared_, key);
  }
  bool post() override {
    std::map<int, std::function<void()>> handlers;
    {
      std::lock_guard lock(shared_->mutex);
      ++shared_->posts;
      handlers = shared_->handlers;
    }
    for (auto& [key, handler] : handlers) handler();
    return reachable;
  }
  int posts() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->posts;
  }
  std::size_t observers() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->handlers.size();
  }

  bool reachable = true;  // what post() answers

 private:
  struct Shared {
    mutable std::mutex mutex;
    std::map<int, std::function<void()>> handlers;
    int nextKey = 0;
    int posts = 0;
  };
  class Observation final : public Registration {
   public:
    Observation(std::shared_ptr<Shared> shared, int key) : shared_(std::move(shared)), key_(key) {}
    ~Observation() override {
      std::lock_guard lock(shared_->mutex);
      shared_->handlers.erase(key_);
    }

   private:
    std::shared_ptr<Shared> shared_;
    int key_;
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

// Answers every token and bootstrap request at once; the bootstrap's send permission is switchable.
class FakeAuthenticationAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view, std::string_view, std::stop_token) override { return token(); }
  TokenResult refresh(std::string_view, std::stop_token) override { return token(); }
  void revoke(std::string_view, std::stop_token) override {}
  BootstrapResult bootstrap(std::string_view, std::stop_token) override {
    AppBootstrap bootstrap;
    bootstrap.user.email = "ada@example.com";
    bootstrap.permissions.canInitiateTransfer = canInitiateTransfer.load();
    return bootstrap;
  }
  std::atomic<bool> canInitiateTransfer{true};

 private:
  static TokenResult token() {
    std::string scope;
    for (const auto& granted : OAuthConfiguration::scopes()) scope += (scope.empty() ? "" : " ") + granted;
    return OAuthTokenResponse{"access", "Bearer", 3600, "refresh-next", scope};
  }
};

class NoBrowser final : public WebAuthenticating {
 public:
  void authenticate(const platform::Url&, std::string_view, Completion completion) override {
    completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
  }
  void cancel() override {}
};

}  // namespace tavrel::testing
