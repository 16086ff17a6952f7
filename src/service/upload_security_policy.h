#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/expected.h"
#include "platform/url.h"

namespace tavrel {

// Why a storage instruction from the service was refused. The three cases stay distinct values, but
// all show the same text: the user can do nothing different about any of them.
enum class UploadPolicyViolation {
  insecureStorageDestination,
  untrustedStorageHost,
  unsupportedPartSize,
};

std::string errorDescription(UploadPolicyViolation violation);

// What the program accepts from the service's upload instructions: which storage addresses may
// receive file data, which signed headers may travel with it, and which multipart layouts are sane.
// A plain value; safe to copy between threads.
struct UploadSecurityPolicy {
  // Hosts (lower case) that may receive uploads over https; empty means any host.
  std::set<std::string> allowedStorageHosts;
  // Plain http is accepted only for a loopback host, and only when this is on (local test servers).
  bool allowsInsecureLoopbackStorage = false;
  std::int64_t minimumPartSize = 5'242'880;
  std::int64_t maximumPartSize = 536'870'912;
  std::int64_t maximumPartCount = 10'000;

  static const UploadSecurityPolicy& defaultPolicy();

  // The same URL when file data may be sent to it.
  platform::Expected<platform::Url, UploadPolicyViolation> validateStorageURL(const platform::Url& url) const;

  // Whether a header the service signed may be sent along with a single upload; the others are
  // dropped without notice.
  static bool allowsSignedHeader(std::string_view name);

  // The number of parts of a `fileSize`-byte file cut into `partSize` pieces, when the layout is
  // within the limits: the part size between the minimum and maximum, and between one and
  // maximumPartCount parts (so an empty file cannot go multipart).
  platform::Expected<std::int64_t, UploadPolicyViolation> partCount(std::optional<std::int64_t> partSize,
                                                                    std::int64_t fileSize) const;

  friend bool operator==(const UploadSecurityPolicy&, const UploadSecurityPolicy&) = default;
};

}  // namespace tavrel

template <>
struct std::hash<tavrel::UploadPolicyViolation> {
  std::size_t operator()(tavrel::UploadPolicyViolation violation) const noexcept {
    return std::hash<int>{}(static_cast<int>(violation));
  }
};
