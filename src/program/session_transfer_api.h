#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "records/access_token_providing.h"
#include "service/transfer_api.h"

namespace tavrel {

// The upload engine's service client across sign-outs. Every transfer belongs to the session that
// created it, and each call about a transfer goes out with that session's token: the signed-in
// session's while it lasts, and after a sign-out the session's last access token, kept only until
// the sign-out's clean-up has ended, so the transfer it abandons can still be deleted. A session
// that signs in meanwhile never sends the kept token, and the clean-up never sends the new one.
//
// A session is open from beginSession() (someone signed in) to endSession(); in between nobody's
// transfers are created. A token asked of the signed-in provider counts for a session only if that
// session is still open once the token is in hand: endSession() is called before the provider drops
// the session's token, so a token had while its session was open is that session's, and one that
// comes after is dropped. This binds each transfer to one session and its token together.
//
// IMPORTANT: Thread-safety. The service calls run on worker threads; beginSession(), endSession()
// and release() are called on the main thread. Any thread may call at once.
class SessionTransferAPI final : public TransferAPI {
 public:
  using SessionID = std::uint64_t;
  // A client of the service whose requests carry the given provider's tokens.
  using ClientFactory = std::function<std::shared_ptr<TransferAPI>(std::shared_ptr<AccessTokenProviding>)>;

  // `signedIn` hands out the tokens of whoever is signed in now.
  SessionTransferAPI(std::shared_ptr<AccessTokenProviding> signedIn, ClientFactory makeClient);
  ~SessionTransferAPI() override;

  // Someone has signed in: new transfers belong to a new session. A session still open is ended
  // first, keeping no token.
  SessionID beginSession();
  // The open session ends, before its token is dropped by the provider; its transfers keep
  // `lastToken` (none: nothing more is sent for them) until release(). Returns the session that
  // ended, or none when none was open.
  std::optional<SessionID> endSession(std::optional<std::string> lastToken);
  // The ended session's clean-up is over: nothing more is sent for its transfers.
  void release(SessionID session);

  RemoteTransferSession createTransfer(const CreateRemoteTransferRequest& request, std::stop_token stop) override;
  RemoteFilePlanResponse registerFiles(const std::string& transferID, std::vector<RemoteFileRegistration> files,
                                       std::stop_token stop) override;
  SignedSingleUpload signSingleUpload(const std::string& transferID, const std::string& fileID,
                                      std::stop_token stop) override;
  SignedMultipartUpload signParts(const std::string& transferID, const std::string& fileID,
                                  const std::vector<std::int64_t>& partNumbers, std::stop_token stop) override;
  RemoteFileCompletion completeFile(const std::string& transferID, const std::string& fileID,
                                    const std::vector<CompletedUploadPart>& parts, std::stop_token stop) override;
  RemoteTransferResumeState resumeState(const std::string& transferID, std::stop_token stop) override;
  RemoteTransferCompletion completeTransfer(const std::string& transferID, std::stop_token stop) override;
  void deleteTransfer(const std::string& transferID, std::stop_token stop) noexcept override;

 private:
  class SessionTokens;
  struct State;
  struct Session {
    std::shared_ptr<TransferAPI> client;   // every call about the session's transfers
    std::shared_ptr<TransferAPI> creator;  // creating them: only while the session is open
  };

  // The client for calls about `transferID`.
  std::shared_ptr<TransferAPI> clientFor(const std::string& transferID);

  ClientFactory makeClient_;
  std::shared_ptr<AccessTokenProviding> signedIn_;
  std::shared_ptr<TransferAPI> endedClient_;  // for transfers of a session whose clean-up is over
  std::shared_ptr<State> state_;              // shared with the sessions' token providers

  std::map<SessionID, Session> sessions_;  // open or ending; guarded by the state's mutex
  std::map<std::string, SessionID> owners_;
};

}  // namespace tavrel
