#include "records/transfer_service_records.h"

#include "platform/translatable_text.h"

namespace tavrel {

using platform::JsonObjectWriter;
using platform::JsonValue;

nlohmann::ordered_json CreateRemoteTransferRequest::toJson() const {
  return JsonObjectWriter()
      .set("title", title)
      .set("expectedFiles", expectedFiles)
      .set("totalExpectedBytes", totalExpectedBytes)
      .set("fileSizes", fileSizes)
      .set("expiryDays", expiryDays)
      .set("region", region)
      .set("oneTimeDownload", oneTimeDownload)
      .set("isReviewEnabled", isReviewEnabled)
      .setIfPresent("reviewAccessType", reviewAccessType)
      .set("filePreviewEnabled", filePreviewEnabled)
      .take();
}

nlohmann::ordered_json RemoteFileRegistration::toJson() const {
  return JsonObjectWriter()
      .set("id", id)
      .set("filename", filename)
      .set("relativePath", relativePath)
      .set("mime", mime)
      .set("size", size)
      .take();
}

std::string encodeRegistrations(const std::vector<RemoteFileRegistration>& files) {
  std::size_t estimate = 2;
  for (const auto& file : files) {
    estimate += 70 + file.id.size() + file.filename.size() + file.relativePath.size() + file.mime.size();
  }
  std::string body;
  body.reserve(estimate);
  body.push_back('[');
  for (const auto& file : files) {
    if (body.size() > 1) body.push_back(',');
    body.append(R"({"id":)");
    platform::appendJsonString(body, file.id);
    body.append(R"(,"filename":)");
    platform::appendJsonString(body, file.filename);
    body.append(R"(,"relativePath":)");
    platform::appendJsonString(body, file.relativePath);
    body.append(R"(,"mime":)");
    platform::appendJsonString(body, file.mime);
    body.append(R"(,"size":)");
    body.append(std::to_string(file.size));
    body.push_back('}');
  }
  body.push_back(']');
  return body;
}

nlohmann::ordered_json SignPartsRequest::toJson() const {
  return JsonObjectWriter().set("partNumbers", partNumbers).take();
}

nlohmann::ordered_json CompletedUploadPart::toJson() const {
  return JsonObjectWriter().set("partNumber", partNumber).set("etag", etag).take();
}

CompletedUploadPart CompletedUploadPart::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.int64("partNumber"), object.string("etag")};
}

nlohmann::ordered_json CompleteRemoteFileRequest::toJson() const {
  return JsonObjectWriter().set("parts", platform::jsonArray(parts)).take();
}

RemoteTransferSession RemoteTransferSession::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.string("transferId"), object.date("expiresAt"), object.int64("expiryDays")};
}

std::string_view rawValue(RemoteUploadStrategy strategy) {
  switch (strategy) {
    case RemoteUploadStrategy::single: return "single";
    case RemoteUploadStrategy::multipart: return "multipart";
  }
  return "single";
}

std::optional<RemoteUploadStrategy> remoteUploadStrategy(std::string_view rawValue) {
  if (rawValue == "single") return RemoteUploadStrategy::single;
  if (rawValue == "multipart") return RemoteUploadStrategy::multipart;
  return std::nullopt;
}

RemoteFilePlan RemoteFilePlan::fromJson(const JsonValue& json) {
  const auto object = json.object();
  RemoteFilePlan plan;
  plan.referenceId = object.string("referenceId");
  plan.fileId = object.string("fileId");
  plan.filename = object.string("filename");
  const JsonValue strategyValue = object.required("strategy");
  const auto strategy = remoteUploadStrategy(strategyValue.string());
  if (!strategy) strategyValue.fail("unknown upload strategy");
  plan.strategy = *strategy;
  plan.uploadId = object.optionalString("uploadId");
  plan.partSize = object.optionalInt64("partSize");
  return plan;
}

RemoteFilePlanResponse RemoteFilePlanResponse::fromJson(const JsonValue& json) {
  return {json.object().array("plans", &RemoteFilePlan::fromJson)};
}

RemoteFilePlanResponse RemoteFilePlanResponse::decode(std::string_view text, std::size_t expectedPlans) {
  RemoteFilePlanResponse response;
  response.plans.reserve(expectedPlans);
  const auto rest = platform::parseJsonTakingElements(
      text, "plans", [&](const JsonValue& plan) { response.plans.push_back(RemoteFilePlan::fromJson(plan)); });
  // What is left must still be an object whose plans are an array (now emptied).
  JsonValue(rest).object().required("plans").elements();
  return response;
}

SignedSingleUpload SignedSingleUpload::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.required("url").url(), object.required("headers").stringMap()};
}

SignedUploadPart SignedUploadPart::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.int64("partNumber"), object.required("url").url()};
}

SignedMultipartUpload SignedMultipartUpload::fromJson(const JsonValue& json) {
  return {json.object().array("urls", &SignedUploadPart::fromJson)};
}

RemoteFileCompletion RemoteFileCompletion::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.string("fileId"), object.optionalString("referenceId")};
}

RemoteFileResumeState RemoteFileResumeState::fromJson(const JsonValue& json) {
  const auto object = json.object();
  RemoteFileResumeState state;
  state.fileId = object.string("fileId");
  state.expectedSize = object.int64("expectedSize");
  state.status = object.string("status");
  state.partSize = object.optionalInt64("partSize");
  state.bytesUploaded = object.int64("bytesUploaded");
  state.completedParts = object.optional("completedParts", [](const JsonValue& parts) {
    return parts.array(&CompletedUploadPart::fromJson);
  });
  state.localFileId = object.optionalString("localFileId");
  return state;
}

RemoteTransferResumeState RemoteTransferResumeState::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.string("transferId"), object.boolean("resumable"), object.int64("totalBytes"),
          object.int64("bytesUploaded"), object.array("files", &RemoteFileResumeState::fromJson)};
}

RecentTransfer RecentTransfer::fromJson(const JsonValue& json) {
  const auto object = json.object();
  RecentTransfer transfer;
  transfer.id = object.string("id");
  transfer.title = object.string("title");
  transfer.fileCount = object.int64("fileCount");
  transfer.totalBytes = object.int64("totalBytes");
  transfer.createdAt = object.date("createdAt");
  transfer.downloadSlug = object.string("downloadSlug");
  transfer.mimeType = object.optionalString("mimeType");
  if (auto mimeTypes = object.optional("mimeTypes")) transfer.mimeTypes = mimeTypes->array(&JsonValue::string);
  return transfer;
}

RemoteTransferCompletion RemoteTransferCompletion::fromJson(const JsonValue& json) {
  const auto object = json.object();
  return {object.boolean("completed"), object.string("id"), object.string("slug"), object.boolean("isFirstTransfer"),
          object.optional("recentTransfer", &RecentTransfer::fromJson)};
}

RecentTransfersResponse RecentTransfersResponse::fromJson(const JsonValue& json) {
  return {json.object().array("transfers", &RecentTransfer::fromJson)};
}

RemoteAPIErrorEnvelope RemoteAPIErrorEnvelope::fromJson(const JsonValue& json) {
  const auto payload = json.object().required("error").object();
  return {{payload.string("code"), payload.string("message")}};
}

TransferAPIError::TransferAPIError(Case errorCase) : case_(std::move(errorCase)) {
  description_ = std::visit(
      [](const auto& value) -> std::string {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, Rejected>) return value.message;
        if constexpr (std::is_same_v<T, Unauthorized>) {
          return TAVREL_TRANSLATE_NOOP("Core", "Your session has expired. Please sign in again.");
        }
        if constexpr (std::is_same_v<T, InvalidResponse>) {
          return TAVREL_TRANSLATE_NOOP("Core", "Tavrel returned an unexpected upload response.");
        }
        if constexpr (std::is_same_v<T, TransportUnavailable>) {
          return TAVREL_TRANSLATE_NOOP("Core",
                                       "Tavrel is temporarily unavailable. Check your connection and retry.");
        }
      },
      case_);
}

TransferAPIError TransferAPIError::rejected(std::int64_t status, std::string code, std::string message) {
  return TransferAPIError(Rejected{status, std::move(code), std::move(message)});
}

}  // namespace tavrel
