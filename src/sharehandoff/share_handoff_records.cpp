#include "sharehandoff/share_handoff_records.h"

#include "platform/base64.h"
#include "platform/iso_date.h"

namespace tavrel {
namespace {

platform::Uuid uuidAt(const platform::JsonObject& object, std::string_view key) {
  const auto value = object.required(key);
  if (auto uuid = platform::Uuid::parse(value.string())) return *uuid;
  value.fail("not a UUID");
}

}  // namespace

std::string_view rawValue(ShareHandoffItemKind kind) {
  return kind == ShareHandoffItemKind::folder ? "folder" : "file";
}

std::optional<ShareHandoffItemKind> shareHandoffItemKind(std::string_view rawValue) {
  if (rawValue == "file") return ShareHandoffItemKind::file;
  if (rawValue == "folder") return ShareHandoffItemKind::folder;
  return std::nullopt;
}

std::string_view rawValue(ShareHandoffAcknowledgementOutcome outcome) {
  return outcome == ShareHandoffAcknowledgementOutcome::rejected ? "rejected" : "accepted";
}

nlohmann::json ShareHandoffItem::toJson() const {
  nlohmann::json json = nlohmann::json::object();
  json["bookmarkData"] = platform::base64Encode(bookmarkData);
  json["displayName"] = displayName;
  json["kind"] = rawValue(kind);
  if (contentTypeIdentifier) json["contentTypeIdentifier"] = *contentTypeIdentifier;
  return json;
}

ShareHandoffItem ShareHandoffItem::fromJson(const platform::JsonValue& json) {
  const auto object = json.object();
  ShareHandoffItem item;
  const auto bookmark = object.required("bookmarkData");
  auto bytes = platform::base64Decode(bookmark.string());
  if (!bytes) bookmark.fail("not Base64 text");
  item.bookmarkData = std::move(*bytes);
  item.displayName = object.string("displayName");
  const auto kindValue = object.required("kind");
  const auto kind = shareHandoffItemKind(kindValue.string());
  if (!kind) kindValue.fail("not a known kind");
  item.kind = *kind;
  item.contentTypeIdentifier = object.optionalString("contentTypeIdentifier");
  return item;
}

nlohmann::json ShareHandoffRequest::toJson() const {
  nlohmann::json json = nlohmann::json::object();
  json["schemaVersion"] = schemaVersion;
  json["id"] = id.toString();
  json["createdAt"] = platform::formatIsoDate(createdAt);
  json["items"] = nlohmann::json::array();
  for (const auto& item : items) json["items"].push_back(item.toJson());
  return json;
}

ShareHandoffRequest ShareHandoffRequest::fromJson(const platform::JsonValue& json) {
  const auto object = json.object();
  ShareHandoffRequest request;
  request.schemaVersion = object.int64("schemaVersion");
  request.id = uuidAt(object, "id");
  request.createdAt = object.date("createdAt");
  request.items = object.array("items", &ShareHandoffItem::fromJson);
  return request;
}

nlohmann::json ShareHandoffAcknowledgement::toJson() const {
  nlohmann::json json = nlohmann::json::object();
  json["schemaVersion"] = schemaVersion;
  json["requestID"] = requestID.toString();
  json["createdAt"] = platform::formatIsoDate(createdAt);
  json["outcome"] = rawValue(outcome);
  if (message) json["message"] = *message;
  return json;
}

ShareHandoffAcknowledgement ShareHandoffAcknowledgement::fromJson(const platform::JsonValue& json) {
  const auto object = json.object();
  ShareHandoffAcknowledgement acknowledgement;
  acknowledgement.schemaVersion = object.int64("schemaVersion");
  acknowledgement.requestID = uuidAt(object, "requestID");
  acknowledgement.createdAt = object.date("createdAt");
  const auto outcomeValue = object.required("outcome");
  const auto outcome = outcomeValue.string();
  if (outcome == "accepted") acknowledgement.outcome = ShareHandoffAcknowledgementOutcome::accepted;
  else if (outcome == "rejected") acknowledgement.outcome = ShareHandoffAcknowledgementOutcome::rejected;
  else outcomeValue.fail("not a known outcome");
  acknowledgement.message = object.optionalString("message");
  return acknowledgement;
}

std::string encodeShareHandoffJson(const nlohmann::json& json) {
  // nlohmann::json keeps object keys sorted; a slash can only occur inside a string in compact text.
  const std::string text = platform::serializeJson(json);
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 16);
  for (const char character : text) {
    if (character == '/') escaped += '\\';
    escaped += character;
  }
  return escaped;
}

}  // namespace tavrel
