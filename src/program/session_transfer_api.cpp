#include "program/session_transfer_api.h"

#include "platform/translatable_text.h"

namespace tavrel {
namespace {

const std::string sessionEndedMessage = TAVREL_TRANSLATE_NOOP("Core", "Your session has ended.");

AccessTokenResult sessionEnded() { return platform::unexpected(AccessTokenError::failed(sessionEndedMessage)); }

// For transfers of no session: nothing is sent for them.
class NoToken final : public AccessTokenProviding {
 public:
  AccessTokenResult validAccessToken(std::stop_token) override { return sessionEnded(); }
  AccessTokenResult accessToken(std::string_view, std::stop_token) override { return sessionEnded(); }
};

}  // namespace

struct SessionTransferAPI::State {
  std::mutex mutex;
  std::optional<SessionID> open;
  SessionID next = 0;
  // The last tokens of ended sessions whose clean-up runs; none: ended without one.
  std::map<SessionID, std::optional<std::string>> kept;
};

// The tokens of one session: the signed-in ones while it is open, then the token it kept, which is
// never renewed. A token that arrives after its session ended is never handed out: by then it may
// be the next session's.
class SessionTransferAPI::SessionTokens final : public AccessTokenProviding {
 public:
  // `openOnly`: nothing once the session has ended (for creating transfers).
  SessionTokens(std::shared_ptr<AccessTokenProviding> signedIn, std::shared_ptr<State> state, SessionID session,
                bool openOnly)
      : signedIn_(std::move(signedIn)), state_(std::move(state)), session_(session), openOnly_(openOnly) {}

  AccessTokenResult validAccessToken(std::stop_token stop) override {
    return obtain([&] { return signedIn_->validAccessToken(stop); }, [](const std::string& kept) { return kept; });
  }
  AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token stop) override {
    return obtain([&] { return signedIn_->accessToken(rejectedToken, stop); },
                  [&](const std::string& kept) -> AccessTokenResult {
                    // Refused once, the kept token is refused for good.
                    if (kept == rejectedToken) return sessionEnded();
                    return kept;
                  });
  }

 private:
  template <typename Fetch, typename FromKept>
  AccessTokenResult obtain(Fetch fetch, FromKept fromKept) {
    {
      std::lock_guard lock(state_->mutex);
      if (state_->open != session_) return afterEndLocked(fromKept);
    }
    auto token = fetch();
    std::lock_guard lock(state_->mutex);
    if (state_->open == session_) return token;
    // Ended while the token was on its way: the session's own kept token, if any, and never a
    // transfer created after its end.
    if (openOnly_) return platform::unexpected(AccessTokenError::cancelled());
    return afterEndLocked(fromKept);
  }

  template <typename FromKept>
  AccessTokenResult afterEndLocked(FromKept fromKept) const {
    if (openOnly_) return sessionEnded();
    const auto kept = state_->kept.find(session_);
    if (kept == state_->kept.end() || !kept->second) return sessionEnded();
    return fromKept(*kept->second);
  }

  std::shared_ptr<AccessTokenProviding> signedIn_;
  std::shared_ptr<State> state_;
  SessionID session_;
  bool openOnly_;
};

SessionTransferAPI::SessionTransferAPI(std::shared_ptr<AccessTokenProviding> signedIn, ClientFactory makeClient)
    : makeClient_(std::move(makeClient)),
      signedIn_(std::move(signedIn)),
      endedClient_(makeClient_(std::make_shared<NoToken>())),
      state_(std::make_shared<State>()) {}

SessionTransferAPI::~SessionTransferAPI() = default;

SessionTransferAPI::SessionID SessionTransferAPI::beginSession() {
  SessionID session;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->open) {
      // Never ended: its transfers are sent nothing more.
      const auto stale = *state_->open;
      state_->open.reset();
      sessions_.erase(stale);
      std::erase_if(owners_, [&](const auto& entry) { return entry.second == stale; });
    }
    session = state_->next++;
  }
  Session made{makeClient_(std::make_shared<SessionTokens>(signedIn_, state_, session, false)),
               makeClient_(std::make_shared<SessionTokens>(signedIn_, state_, session, true))};
  std::lock_guard lock(state_->mutex);
  sessions_[session] = std::move(made);
  state_->open = session;
  return session;
}

std::optional<SessionTransferAPI::SessionID> SessionTransferAPI::endSession(std::optional<std::string> lastToken) {
  std::lock_guard lock(state_->mutex);
  if (!state_->open) return std::nullopt;
  const auto session = *state_->open;
  state_->open.reset();
  state_->kept[session] = std::move(lastToken);
  return session;
}

void SessionTransferAPI::release(SessionID session) {
  std::lock_guard lock(state_->mutex);
  if (state_->open == session) state_->open.reset();
  state_->kept.erase(session);
  sessions_.erase(session);
  std::erase_if(owners_, [&](const auto& entry) { return entry.second == session; });
}

std::shared_ptr<TransferAPI> SessionTransferAPI::clientFor(const std::string& transferID) {
  std::lock_guard lock(state_->mutex);
  const auto owner = owners_.find(transferID);
  // Not made here, or its session's clean-up is over.
  if (owner == owners_.end()) return endedClient_;
  const auto session = sessions_.find(owner->second);
  return session == sessions_.end() ? endedClient_ : session->second.client;
}

RemoteTransferSession SessionTransferAPI::createTransfer(const CreateRemoteTransferRequest& request,
                                                         std::stop_token stop) {
  std::optional<SessionID> session;
  std::shared_ptr<TransferAPI> creator = endedClient_;
  {
    std::lock_guard lock(state_->mutex);
    session = state_->open;
    if (session) creator = sessions_.at(*session).creator;
  }
  auto created = creator->createTransfer(request, stop);
  std::lock_guard lock(state_->mutex);
  // Ended meanwhile, after the request went out with its token: the transfer is still the ended
  // session's, for its clean-up.
  if (session && sessions_.contains(*session)) owners_[created.transferId] = *session;
  return created;
}

RemoteFilePlanResponse SessionTransferAPI::registerFiles(const std::string& transferID,
                                                         std::vector<RemoteFileRegistration> files,
                                                         std::stop_token stop) {
  return clientFor(transferID)->registerFiles(transferID, std::move(files), stop);
}

SignedSingleUpload SessionTransferAPI::signSingleUpload(const std::string& transferID, const std::string& fileID,
                                                        std::stop_token stop) {
  return clientFor(transferID)->signSingleUpload(transferID, fileID, stop);
}

SignedMultipartUpload SessionTransferAPI::signParts(const std::string& transferID, const std::string& fileID,
                                                    const std::vector<std::int64_t>& partNumbers,
                                                    std::stop_token stop) {
  return clientFor(transferID)->signParts(transferID, fileID, partNumbers, stop);
}

RemoteFileCompletion SessionTransferAPI::completeFile(const std::string& transferID, const std::string& fileID,
                                                      const std::vector<CompletedUploadPart>& parts,
                                                      std::stop_token stop) {
  return clientFor(transferID)->completeFile(transferID, fileID, parts, stop);
}

RemoteTransferResumeState SessionTransferAPI::resumeState(const std::string& transferID, std::stop_token stop) {
  return clientFor(transferID)->resumeState(transferID, stop);
}

RemoteTransferCompletion SessionTransferAPI::completeTransfer(const std::string& transferID, std::stop_token stop) {
  return clientFor(transferID)->completeTransfer(transferID, stop);
}

void SessionTransferAPI::deleteTransfer(const std::string& transferID, std::stop_token stop) noexcept {
  std::shared_ptr<TransferAPI> client;
  try {
    client = clientFor(transferID);
  } catch (...) {
    return;
  }
  client->deleteTransfer(transferID, stop);
}

}  // namespace tavrel
