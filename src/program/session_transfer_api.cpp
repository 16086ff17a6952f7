#include "program/session_transfer_api.h"

#include "platform/translatable_text.h"

namespace tavrel {
namespace {

const std::string sessionEndedMessage = TAVREL_TRANSLATE_NOOP("Core", "Your session has ended.");

// One token that is never renewed: refused once, the session is gone.
class KeptToken final : public AccessTokenProviding {
 public:
  explicit KeptToken(std::optional<std::string> token) : token_(std::move(token)) {}

  AccessTokenResult validAccessToken(std::stop_token) override {
    if (!token_) return platform::unexpected(AccessTokenError::failed(sessionEndedMessage));
    return *token_;
  }
  AccessTokenResult accessToken(std::string_view rejectedToken, std::stop_token) override {
    if (!token_ || *token_ == rejectedToken) return platform::unexpected(AccessTokenError::failed(sessionEndedMessage));
    return *token_;
  }

 private:
  std::optional<std::string> token_;
};

}  // namespace

SessionTransferAPI::SessionTransferAPI(std::shared_ptr<AccessTokenProviding> signedIn, ClientFactory makeClient)
    : makeClient_(std::move(makeClient)),
      signedInClient_(makeClient_(std::move(signedIn))),
      endedClient_(makeClient_(std::make_shared<KeptToken>(std::nullopt))) {}

SessionTransferAPI::SessionID SessionTransferAPI::endSession(std::optional<std::string> lastToken) {
  auto client = lastToken ? makeClient_(std::make_shared<KeptToken>(std::move(lastToken))) : endedClient_;
  std::lock_guard lock(mutex_);
  ending_[current_] = std::move(client);
  return current_++;
}

void SessionTransferAPI::release(SessionID session) {
  std::lock_guard lock(mutex_);
  ending_.erase(session);
  std::erase_if(owners_, [&](const auto& entry) { return entry.second == session; });
}

std::shared_ptr<TransferAPI> SessionTransferAPI::clientFor(const std::string& transferID) {
  std::lock_guard lock(mutex_);
  const auto owner = owners_.find(transferID);
  if (owner == owners_.end()) {
    // Not made here, or its session's clean-up is over.
    return endedClient_;
  }
  if (owner->second == current_) return signedInClient_;
  const auto ending = ending_.find(owner->second);
  return ending == ending_.end() ? endedClient_ : ending->second;
}

RemoteTransferSession SessionTransferAPI::createTransfer(const CreateRemoteTransferRequest& request,
                                                         std::stop_token stop) {
  SessionID session;
  {
    std::lock_guard lock(mutex_);
    session = current_;
  }
  auto created = signedInClient_->createTransfer(request, stop);
  std::lock_guard lock(mutex_);
  // Ended meanwhile: the transfer is the ended session's, for its clean-up.
  if (session == current_ || ending_.contains(session)) owners_[created.transferId] = session;
  return created;
}

RemoteFilePlanResponse SessionTransferAPI::registerFiles(const std::string& transferID,
                                                         const std::vector<RemoteFileRegistration>& files,
                                                         std::stop_token stop) {
  return clientFor(transferID)->registerFiles(transferID, files, stop);
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
