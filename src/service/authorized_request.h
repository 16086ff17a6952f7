#pragma once

#include <exception>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http_transport.h"
#include "platform/url.h"
#include "records/access_token_providing.h"
#include "records/transfer_service_records.h"

namespace tavrel {

// No access token could be had; what() is the sign-in side's own text, passed on unchanged.
class AccessTokenUnavailable : public std::exception {
 public:
  explicit AccessTokenUnavailable(AccessTokenError error) : error_(std::move(error)) {}
  const AccessTokenError& error() const { return error_; }
  const char* what() const noexcept override { return error_.message.c_str(); }

 private:
  AccessTokenError error_;
};

// One request of a service client, before a token is added.
struct AuthorizedRequest {
  std::string method;
  std::vector<std::string> pathSegments;  // identifiers unencoded; the URL builder encodes them
  std::optional<std::string> jsonBody;    // encoded once, sent again unchanged on the repeat
  // For answers that grow with what the account holds (lists, a transfer's resume state); the
  // others are a few hundred bytes, which cost more to pack than they save.
  bool offersGzip = false;
};

// The exchange both service clients share: a bearer token from `tokens`, the request under
// `webAppURL`, and after a 401 exactly one repeat with the token the provider gives for the rejected
// one. Returns the final answer, whatever its status.
//
// Throws Cancelled when `stop` is requested (during the exchange or while a token is awaited),
// AccessTokenUnavailable when the provider fails, and TransferAPIError: invalidResponse when no URL
// can be built (nothing is sent), transportUnavailable when the exchange fails, unauthorized when a
// token holds characters that would break the header (it is never sent).
// Blocks; call it only on a worker thread.
platform::HttpResponse sendAuthorized(platform::HttpTransport& transport, AccessTokenProviding& tokens,
                                      const platform::Url& webAppURL, AuthorizedRequest request,
                                      std::stop_token stop);

// The service's error for a non-success answer other than 401: the envelope's code and message, or
// "http_error" with `fallbackMessage`.
TransferAPIError rejectionFor(const platform::HttpResponse& response, std::string_view fallbackMessage);
// The wait a Retry-After header of the answer asks for, when it has a readable one.
std::optional<std::chrono::seconds> retryAfterOf(const platform::HttpResponse& response);

// Classifies an answer: a 2xx body decoded by `decode` (text in, T out; invalidResponse when it
// throws), unauthorized for 401, rejectionFor() otherwise.
template <typename T, typename Decode>
T decodeServiceResponse(const platform::HttpResponse& response, std::string_view fallbackMessage, Decode&& decode) {
  if (response.status >= 200 && response.status <= 299) {
    try {
      return decode(std::string_view(response.body));
    } catch (const std::exception&) {
      throw TransferAPIError::invalidResponse();
    }
  }
  if (response.status == 401) throw TransferAPIError::unauthorized();
  throw rejectionFor(response, fallbackMessage);
}

// The same, the body decoded as T.
template <typename T>
T decodeServiceResponse(const platform::HttpResponse& response, std::string_view fallbackMessage) {
  return decodeServiceResponse<T>(response, fallbackMessage,
                                  [](std::string_view text) { return platform::decodeJson<T>(text); });
}

}  // namespace tavrel
