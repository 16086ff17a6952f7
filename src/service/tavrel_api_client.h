#pragma once

#include <memory>

#include "platform/http_transport.h"
#include "platform/url.h"
#include "records/access_token_providing.h"
#include "service/transfer_api.h"

namespace tavrel {

// The program's client of the transfer endpoints under "api/v1/transfers". Each operation is one
// authorised JSON request; the only repeat is the one after a 401, with the token the provider gives
// for the rejected one. Back-off and retries belong to the upload engine.
//
// Keeps no state between calls. IMPORTANT: Threading as TransferAPI: blocking, worker threads only,
// any number of calls at once.
class TavrelAPIClient final : public TransferAPI {
 public:
  TavrelAPIClient(platform::Url webAppURL, std::shared_ptr<AccessTokenProviding> tokenProvider,
                  std::shared_ptr<platform::HttpTransport> session);

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
  template <typename Response>
  Response request(std::string method, std::vector<std::string> pathSegments, std::optional<std::string> body,
                   std::stop_token stop);
  // The same, the answer's text decoded by `decode`.
  template <typename Response, typename Decode>
  Response request(std::string method, std::vector<std::string> pathSegments, std::optional<std::string> body,
                   std::stop_token stop, Decode&& decode);

  const platform::Url webAppURL_;
  const std::shared_ptr<AccessTokenProviding> tokenProvider_;
  const std::shared_ptr<platform::HttpTransport> session_;
};

}  // namespace tavrel
