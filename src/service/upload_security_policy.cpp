#include "service/upload_security_policy.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/translatable_text.h"

namespace tavrel {
namespace {

std::string lowerCased(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return result;
}

bool isLoopbackHost(const std::string& lowerCasedHost) {
  static constexpr std::array<std::string_view, 3> loopbackHosts{"localhost", "127.0.0.1", "::1"};
  return std::find(loopbackHosts.begin(), loopbackHosts.end(), lowerCasedHost) != loopbackHosts.end();
}

}  // namespace

std::string errorDescription(UploadPolicyViolation) {
  return TAVREL_TRANSLATE_NOOP("Core", "Tavrel refused an unsafe upload instruction from the server.");
}

const UploadSecurityPolicy& UploadSecurityPolicy::defaultPolicy() {
  static const UploadSecurityPolicy policy{};
  return policy;
}

platform::Expected<platform::Url, UploadPolicyViolation> UploadSecurityPolicy::validateStorageURL(
    const platform::Url& url) const {
  if (url.scheme().empty() || url.host().empty()) {
    return platform::unexpected(UploadPolicyViolation::insecureStorageDestination);
  }
  const std::string scheme = lowerCased(url.scheme());
  const std::string host = lowerCased(url.host());
  const bool loopback = isLoopbackHost(host);
  if (scheme == "https") {
    if (!allowedStorageHosts.empty() && !loopback && !allowedStorageHosts.contains(host)) {
      return platform::unexpected(UploadPolicyViolation::untrustedStorageHost);
    }
  } else if (!(scheme == "http" && allowsInsecureLoopbackStorage && loopback)) {
    return platform::unexpected(UploadPolicyViolation::insecureStorageDestination);
  }
  // Credentials in the address would go out as an Authorization header that no signed-header
  // check ever sees; a pre-signed address never needs them.
  if (url.userInfo()) return platform::unexpected(UploadPolicyViolation::insecureStorageDestination);
  return url;
}

bool UploadSecurityPolicy::allowsSignedHeader(std::string_view name) {
  static const std::set<std::string, std::less<>> allowed{
      "cache-control", "content-disposition", "content-encoding", "content-language", "content-md5",
      "content-type",  "expires",             "if-match",         "if-none-match"};
  static constexpr std::array<std::string_view, 5> prefixes{"x-amz-", "x-goog-", "x-ms-", "x-oss-", "x-obs-"};
  const std::string lowered = lowerCased(name);
  if (allowed.contains(lowered)) return true;
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view prefix) { return lowered.starts_with(prefix); });
}

platform::Expected<std::int64_t, UploadPolicyViolation> UploadSecurityPolicy::partCount(
    std::optional<std::int64_t> partSize, std::int64_t fileSize) const {
  if (!partSize || *partSize < minimumPartSize || *partSize > maximumPartSize || *partSize <= 0) {
    return platform::unexpected(UploadPolicyViolation::unsupportedPartSize);
  }
  const std::int64_t count = fileSize <= 0 ? 0 : (fileSize - 1) / *partSize + 1;
  if (count < 1 || count > maximumPartCount) {
    return platform::unexpected(UploadPolicyViolation::unsupportedPartSize);
  }
  return count;
}

}  // namespace tavrel
