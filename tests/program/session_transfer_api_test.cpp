// Which token the engine's calls carry across a sign-out followed at once by a sign-in: a transfer
// is created only with a token of the session it is recorded under.
#include "program/session_transfer_api.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "service/authorized_request.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;

// The signed-in tokens, as the authentication store hands them out. A held request has read the
// token and waits before returning it, as a worker thread descheduled at the wrong moment.
class SignedInTokens final : public AccessTokenProviding {
 public:
  AccessTokenResult validAccessToken(std::stop_token) override {
    std::unique_lock lock(mutex_);
    const auto atEntry = current_;
    if (held_) {
      ++waiting_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return !held_; });
      --waiting_;
    }
    const auto token = readsOnReturn_ ? current_ : atEntry;
    if (!token) return platform::unexpected(AccessTokenError::failed("Not signed in."));
    return *token;
  }
  AccessTokenResult accessToken(std::string_view, std::stop_token stop) override { return validAccessToken(stop); }

  void set(std::optional<std::string> token) {
    std::lock_guard lock(mutex_);
    current_ = std::move(token);
  }
  // `readsOnReturn`: the token the request returns is the one current when it is let go.
  void hold(bool readsOnReturn) {
    std::lock_guard lock(mutex_);
    held_ = true;
    readsOnReturn_ = readsOnReturn;
  }
  bool waitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return waiting_ > 0; });
  }
  void letGo() {
    std::lock_guard lock(mutex_);
    held_ = false;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<std::string> current_;
  bool held_ = false;
  bool readsOnReturn_ = false;
  int waiting_ = 0;
};

struct Sent {
  std::string call;
  std::string token;
  friend bool operator==(const Sent&, const Sent&) = default;
};

// A service client that sends nothing but writes down each call with the token it would carry.
class RecordingClient final : public TransferAPI {
 public:
  RecordingClient(std::shared_ptr<AccessTokenProviding> tokens, std::shared_ptr<std::vector<Sent>> sent,
                  std::shared_ptr<std::mutex> mutex)
      : tokens_(std::move(tokens)), sent_(std::move(sent)), mutex_(std::move(mutex)) {}

  RemoteTransferSession createTransfer(const CreateRemoteTransferRequest&, std::stop_token stop) override {
    const auto token = send("create", stop);
    return RemoteTransferSession{"tr-" + token, {}, 7};
  }
  RemoteFilePlanResponse registerFiles(const std::string& id, std::vector<RemoteFileRegistration>,
                                       std::stop_token stop) override {
    send("register " + id, stop);
    return {};
  }
  SignedSingleUpload signSingleUpload(const std::string&, const std::string&, std::stop_token) override { return {}; }
  SignedMultipartUpload signParts(const std::string&, const std::string&, const std::vector<std::int64_t>&,
                                  std::stop_token) override {
    return {};
  }
  RemoteFileCompletion completeFile(const std::string&, const std::string&, const std::vector<CompletedUploadPart>&,
                                    std::stop_token) override {
    return {};
  }
  RemoteTransferResumeState resumeState(const std::string&, std::stop_token) override { return {}; }
  RemoteTransferCompletion completeTransfer(const std::string&, std::stop_token) override { return {}; }
  void deleteTransfer(const std::string& id, std::stop_token stop) noexcept override {
    try {
      send("delete " + id, stop);
    } catch (...) {
    }
  }

 private:
  std::string send(const std::string& call, std::stop_token stop) {
    auto token = tokens_->validAccessToken(stop);
    if (!token) throw AccessTokenUnavailable(token.error());
    std::lock_guard lock(*mutex_);
    sent_->push_back({call, *token});
    return *token;
  }

  std::shared_ptr<AccessTokenProviding> tokens_;
  std::shared_ptr<std::vector<Sent>> sent_;
  std::shared_ptr<std::mutex> mutex_;
};

class SessionTransferAPITest : public ::testing::Test {
 protected:
  std::vector<Sent> sentCalls() {
    std::lock_guard lock(*mutex);
    return *sent;
  }
  // What the coordinator does on a sign-out: the session ends, then the store drops its token.
  SessionTransferAPI::SessionID signOut(const std::string& lastToken) {
    const auto ended = api.endSession(lastToken);
    EXPECT_TRUE(ended);
    tokens->set(std::nullopt);
    return ended.value_or(0);
  }
  // A sign-in: the store publishes the new token, and the coordinator begins a session with it.
  void signIn(const std::string& token) {
    tokens->set(token);
    api.beginSession();
  }

  std::shared_ptr<SignedInTokens> tokens = std::make_shared<SignedInTokens>();
  std::shared_ptr<std::vector<Sent>> sent = std::make_shared<std::vector<Sent>>();
  std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();
  SessionTransferAPI api{tokens, [this](std::shared_ptr<AccessTokenProviding> provider) {
                           return std::make_shared<RecordingClient>(std::move(provider), sent, mutex);
                         }};
};

// Regression: with a sign-in a few milliseconds after a sign-out, a transfer was created with the
// old account's token and recorded under the new session, and its clean-up went out without a token.
TEST_F(SessionTransferAPITest, ASignInRightAfterASignOutNeverCrossesTokens) {
  signIn("old");
  const auto abandoned = api.createTransfer({}, {});
  ASSERT_EQ(abandoned.transferId, "tr-old");

  // Between the session's end and the store dropping its token, nothing is created.
  api.endSession("old");
  EXPECT_THROW(api.createTransfer({}, {}), AccessTokenUnavailable);
  tokens->set(std::nullopt);
  signIn("new");

  // A creation that started in a session that then ended, and is let go in the next one, sends
  // nothing: with its own session's token, nor with the next session's.
  for (const bool readsOnReturn : {false, true}) {
    SCOPED_TRACE(readsOnReturn ? "the next session's token" : "its own session's token");
    tokens->hold(readsOnReturn);
    std::optional<AccessTokenError> failure;
    std::jthread worker([&] {
      try {
        api.createTransfer({}, {});
      } catch (const AccessTokenUnavailable& unavailable) {
        failure = unavailable.error();
      }
    });
    ASSERT_TRUE(tokens->waitUntilHeld());
    const auto ended = signOut("new");
    signIn(readsOnReturn ? "newer" : "new-again");
    tokens->letGo();
    worker.join();
    ASSERT_TRUE(failure) << "a transfer was created across sessions";
    EXPECT_TRUE(failure->isCancelled());
    api.release(ended);
  }
  EXPECT_EQ(sentCalls(), (std::vector<Sent>{{"create", "old"}}));

  // The new session's transfer carries its token; the abandoned one's clean-up still carries the old
  // session's, whoever is signed in now.
  const auto current = api.createTransfer({}, {});
  api.registerFiles(current.transferId, {}, {});
  api.deleteTransfer(abandoned.transferId, {});
  EXPECT_EQ(sentCalls(), (std::vector<Sent>{{"create", "old"},
                                            {"create", "newer"},
                                            {"register tr-newer", "newer"},
                                            {"delete tr-old", "old"}}));
}

}  // namespace
}  // namespace tavrel
