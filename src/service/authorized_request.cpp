#include "service/authorized_request.h"

#include "platform/retry_after.h"
#include "records/api_url.h"
#include "transfer/cancelled.h"

namespace tavrel {
namespace {

std::string obtained(AccessTokenResult result) {
  if (!result) {
    if (result.error().isCancelled()) throw Cancelled{};
    throw AccessTokenUnavailable(result.error());
  }
  return std::move(result).value();
}

// A token is sent verbatim after "Bearer "; a control character in it could end the header early
// and smuggle a header of the provider's choosing into the request.
bool isSendableToken(std::string_view token) {
  for (unsigned char c : token) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

platform::HttpResponse sendOnce(platform::HttpTransport& transport, const platform::Url& webAppURL,
                                AuthorizedRequest& request, const std::string& token, std::stop_token stop) {
  auto url = apiURL(webAppURL, request.pathSegments);
  if (!url) throw TransferAPIError::invalidResponse();
  if (!isSendableToken(token)) throw TransferAPIError::unauthorized();

  platform::HttpRequest httpRequest;
  httpRequest.method = request.method;
  httpRequest.url = std::move(*url);
  httpRequest.idleTimeout = std::chrono::seconds(60);
  httpRequest.offersGzip = request.offersGzip;
  httpRequest.headers.push_back({"Authorization", "Bearer " + token});
  httpRequest.headers.push_back({"Accept", "application/json"});
  // Nothing of ours may come from a cache: the session keeps none, and we say so to proxies too.
  httpRequest.headers.push_back({"Cache-Control", "no-cache"});
  if (request.jsonBody) {
    httpRequest.headers.push_back({"Content-Type", "application/json"});
    // Lent, not copied (a register body lists every file), and taken back for a repeat after a 401.
    httpRequest.body = std::move(*request.jsonBody);
  }

  auto response = transport.send(httpRequest, stop);
  if (request.jsonBody) request.jsonBody = std::move(std::get<std::string>(httpRequest.body));
  if (!response) {
    // A request stopped with its task is the user's cancel, not an unavailable service.
    if (response.error().code == platform::TransportErrorCode::cancelled || stop.stop_requested()) {
      throw Cancelled{};
    }
    if (response.error().code == platform::TransportErrorCode::networkChanged) {
      throw TransferAPIError::transportUnavailable().withCutByNetworkChange();
    }
    throw TransferAPIError::transportUnavailable();
  }
  return std::move(response).value();
}

}  // namespace

platform::HttpResponse sendAuthorized(platform::HttpTransport& transport, AccessTokenProviding& tokens,
                                      const platform::Url& webAppURL, AuthorizedRequest request,
                                      std::stop_token stop) {
  const std::string first = obtained(tokens.validAccessToken(stop));
  auto response = sendOnce(transport, webAppURL, request, first, stop);
  if (response.status != 401) return response;
  const std::string second = obtained(tokens.accessToken(first, stop));
  return sendOnce(transport, webAppURL, request, second, stop);
}

TransferAPIError rejectionFor(const platform::HttpResponse& response, std::string_view fallbackMessage) {
  auto error = [&] {
    if (auto envelope = platform::tryDecodeJson<RemoteAPIErrorEnvelope>(response.body)) {
      return TransferAPIError::rejected(response.status, envelope->error.code, envelope->error.message);
    }
    return TransferAPIError::rejected(response.status, "http_error", std::string(fallbackMessage));
  }();
  return error.withRetryAfter(retryAfterOf(response));
}

std::optional<std::chrono::seconds> retryAfterOf(const platform::HttpResponse& response) {
  const auto value = response.header("Retry-After");
  if (!value) return std::nullopt;
  return platform::parseRetryAfter(*value, std::chrono::system_clock::now());
}

}  // namespace tavrel
