#include "service/tavrel_api_client.h"

#include "platform/json.h"
#include "platform/memory.h"
#include "platform/translatable_text.h"
#include "service/authorized_request.h"

namespace tavrel {
namespace {

constexpr std::string_view fallbackMessage =
    TAVREL_TRANSLATE_NOOP("Core", "Tavrel rejected the upload request.");

std::string encoded(const nlohmann::ordered_json& json) { return platform::serializeJson(json); }

}  // namespace

TavrelAPIClient::TavrelAPIClient(platform::Url webAppURL, std::shared_ptr<AccessTokenProviding> tokenProvider,
                                 std::shared_ptr<platform::HttpTransport> session)
    : webAppURL_(std::move(webAppURL)), tokenProvider_(std::move(tokenProvider)), session_(std::move(session)) {}

template <typename Response>
Response TavrelAPIClient::request(std::string method, std::vector<std::string> pathSegments,
                                  std::optional<std::string> body, std::stop_token stop) {
  return request<Response>(std::move(method), std::move(pathSegments), std::move(body), stop,
                           [](std::string_view text) { return platform::decodeJson<Response>(text); });
}

template <typename Response, typename Decode>
Response TavrelAPIClient::request(std::string method, std::vector<std::string> pathSegments,
                                  std::optional<std::string> body, std::stop_token stop, Decode&& decode) {
  platform::HttpResponse response;
  {
    // The one GET, the resume state, lists every file of the transfer.
    const bool offersGzip = method == "GET";
    AuthorizedRequest request{std::move(method), std::move(pathSegments), std::move(body), offersGzip};
    response = sendAuthorized(*session_, *tokenProvider_, webAppURL_, std::move(request), stop);
  }  // the body goes before the answer is decoded: a register body is as long as its answer
  return decodeServiceResponse<Response>(response, fallbackMessage, std::forward<Decode>(decode));
}

RemoteTransferSession TavrelAPIClient::createTransfer(const CreateRemoteTransferRequest& body, std::stop_token stop) {
  return request<RemoteTransferSession>("POST", {"api", "v1", "transfers"}, encoded(body.toJson()), stop);
}

RemoteFilePlanResponse TavrelAPIClient::registerFiles(const std::string& transferID,
                                                      std::vector<RemoteFileRegistration> files,
                                                      std::stop_token stop) {
  std::string body = encodeRegistrations(files);
  const std::size_t count = files.size();
  files = {};  // a few hundred bytes a file, not needed once the body is written
  platform::releaseFreedMemory();  // nor are their pages, while the answer, as long, comes in
  return request<RemoteFilePlanResponse>(
      "POST", {"api", "v1", "transfers", transferID, "files"}, std::move(body), stop,
      [count](std::string_view text) { return RemoteFilePlanResponse::decode(text, count); });
}

SignedSingleUpload TavrelAPIClient::signSingleUpload(const std::string& transferID, const std::string& fileID,
                                                     std::stop_token stop) {
  return request<SignedSingleUpload>("POST", {"api", "v1", "transfers", transferID, "files", fileID, "sign"},
                                     encoded(EmptyRequest{}.toJson()), stop);
}

SignedMultipartUpload TavrelAPIClient::signParts(const std::string& transferID, const std::string& fileID,
                                                 const std::vector<std::int64_t>& partNumbers, std::stop_token stop) {
  return request<SignedMultipartUpload>("POST", {"api", "v1", "transfers", transferID, "files", fileID, "sign"},
                                        encoded(SignPartsRequest{partNumbers}.toJson()), stop);
}

RemoteFileCompletion TavrelAPIClient::completeFile(const std::string& transferID, const std::string& fileID,
                                                   const std::vector<CompletedUploadPart>& parts,
                                                   std::stop_token stop) {
  auto body = parts.empty() ? encoded(EmptyRequest{}.toJson()) : encoded(CompleteRemoteFileRequest{parts}.toJson());
  return request<RemoteFileCompletion>("PUT", {"api", "v1", "transfers", transferID, "files", fileID, "complete"},
                                       std::move(body), stop);
}

RemoteTransferResumeState TavrelAPIClient::resumeState(const std::string& transferID, std::stop_token stop) {
  return request<RemoteTransferResumeState>("GET", {"api", "v1", "transfers", transferID, "resume-state"},
                                            std::nullopt, stop);
}

RemoteTransferCompletion TavrelAPIClient::completeTransfer(const std::string& transferID, std::stop_token stop) {
  return request<RemoteTransferCompletion>("PUT", {"api", "v1", "transfers", transferID, "complete"},
                                           encoded(EmptyRequest{}.toJson()), stop);
}

void TavrelAPIClient::deleteTransfer(const std::string& transferID, std::stop_token stop) noexcept {
  try {
    request<EmptyResponse>("DELETE", {"api", "v1", "transfers", transferID}, std::nullopt, stop);
  } catch (...) {
    // Clean-up is best effort: a transfer we could not delete expires on the service.
  }
}

}  // namespace tavrel
