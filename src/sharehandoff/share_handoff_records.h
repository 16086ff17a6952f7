#pragma once

// The records that travel between the share program and the program through the shared container:
// a request written by the share program, an acknowledgement written by the program.
//
// JSON form: keys sorted, compact, forward slashes escaped ("\/"), dates as whole-second UTC with a
// trailing "Z", bytes as padded standard Base64, UUIDs as upper-case text, absent optionals left out.
// Decoding ignores unknown keys; a missing key, a wrong type, an unknown kind or outcome, a malformed
// UUID, Base64 text or date (fractional seconds included) fails the whole record with
// platform::JsonDecodingError.
//
// Plain values; safe to copy between threads.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/json.h"
#include "platform/uuid.h"

namespace tavrel {

enum class ShareHandoffItemKind { file, folder };

std::string_view rawValue(ShareHandoffItemKind kind);
std::optional<ShareHandoffItemKind> shareHandoffItemKind(std::string_view rawValue);

// One handed-over file or folder.
struct ShareHandoffItem {
  std::vector<std::uint8_t> bookmarkData;  // 1 to 524,288 bytes
  std::string displayName;                 // never empty
  ShareHandoffItemKind kind = ShareHandoffItemKind::file;
  std::optional<std::string> contentTypeIdentifier;

  nlohmann::json toJson() const;
  static ShareHandoffItem fromJson(const platform::JsonValue& json);
  friend bool operator==(const ShareHandoffItem&, const ShareHandoffItem&) = default;
};

// One hand-off, written by the share program as one file named after its id.
struct ShareHandoffRequest {
  std::int64_t schemaVersion = 1;
  platform::Uuid id;
  std::chrono::system_clock::time_point createdAt;
  std::vector<ShareHandoffItem> items;  // 1 to 100, in the order the user shared them

  nlohmann::json toJson() const;
  static ShareHandoffRequest fromJson(const platform::JsonValue& json);
  friend bool operator==(const ShareHandoffRequest&, const ShareHandoffRequest&) = default;
};

enum class ShareHandoffAcknowledgementOutcome { accepted, rejected };

std::string_view rawValue(ShareHandoffAcknowledgementOutcome outcome);

// The program's answer to one request.
struct ShareHandoffAcknowledgement {
  std::int64_t schemaVersion = 1;
  platform::Uuid requestID;
  std::chrono::system_clock::time_point createdAt;
  ShareHandoffAcknowledgementOutcome outcome = ShareHandoffAcknowledgementOutcome::accepted;
  std::optional<std::string> message;  // only with a rejection

  nlohmann::json toJson() const;
  static ShareHandoffAcknowledgement fromJson(const platform::JsonValue& json);
  friend bool operator==(const ShareHandoffAcknowledgement&, const ShareHandoffAcknowledgement&) = default;
};

// The container's JSON text of a record: sorted keys, compact, "/" written as "\/".
std::string encodeShareHandoffJson(const nlohmann::json& json);

}  // namespace tavrel
