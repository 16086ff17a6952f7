#pragma once

// The JSON records of the transfer service ("api/v1/transfers"), the upload strategies, the
// service's error envelope and TransferAPIError, the error of both service clients.
//
// Keys are the field names exactly as declared here (lower camel case, no conversion). Requests are
// encoded with toJson() (keys in declaration order; optionals left out when absent, never null);
// responses are decoded with fromJson() (platform/json.h): a missing required field, a null in one or
// a value of the wrong type throws platform::JsonDecodingError, and the whole answer is refused.
//
//   auto session = platform::decodeJson<RemoteTransferSession>(body);
//   std::string request = platform::serializeJson(createRequest.toJson());
//
// Plain values; safe to copy between threads.

#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/json.h"
#include "platform/url.h"

namespace tavrel {

// ---- Requests (encode only, except CompletedUploadPart) ----

// Body of create transfer.
struct CreateRemoteTransferRequest {
  std::string title;
  std::int64_t expectedFiles = 0;
  std::int64_t totalExpectedBytes = 0;
  std::vector<std::int64_t> fileSizes;  // one per file, in file order
  std::int64_t expiryDays = 0;
  std::string region;
  bool oneTimeDownload = false;
  bool isReviewEnabled = false;
  std::optional<std::string> reviewAccessType;
  bool filePreviewEnabled = false;

  nlohmann::ordered_json toJson() const;
  friend bool operator==(const CreateRemoteTransferRequest&, const CreateRemoteTransferRequest&) = default;
};

// One file of register files; the body is a JSON array of these, in file order.
struct RemoteFileRegistration {
  std::string id;  // our local reference, echoed back as RemoteFilePlan::referenceId
  std::string filename;
  std::string relativePath;
  std::string mime;
  std::int64_t size = 0;

  nlohmann::ordered_json toJson() const;
  friend bool operator==(const RemoteFileRegistration&, const RemoteFileRegistration&) = default;
};

// The register-files body, written straight to text: the same bytes as serializeJson() of the
// JSON array of each registration's toJson(), without a tree of a few hundred bytes per file.
// Throws JsonEncodingError for a string that is not valid UTF-8.
std::string encodeRegistrations(const std::vector<RemoteFileRegistration>& files);

// Body of signing multipart parts.
struct SignPartsRequest {
  std::vector<std::int64_t> partNumbers;  // one-based

  nlohmann::ordered_json toJson() const;
  friend bool operator==(const SignPartsRequest&, const SignPartsRequest&) = default;
};

// One uploaded part: sent when completing a file, read back in the resume state.
struct CompletedUploadPart {
  std::int64_t partNumber = 0;
  std::string etag;  // the storage's entity tag, without surrounding quotes

  nlohmann::ordered_json toJson() const;
  static CompletedUploadPart fromJson(const platform::JsonValue& json);
  friend bool operator==(const CompletedUploadPart&, const CompletedUploadPart&) = default;
};

// Body of completing a multipart file.
struct CompleteRemoteFileRequest {
  std::vector<CompletedUploadPart> parts;

  nlohmann::ordered_json toJson() const;
  friend bool operator==(const CompleteRemoteFileRequest&, const CompleteRemoteFileRequest&) = default;
};

// "{}": the body of sign single upload, of completing a file without a part list and of completing
// the transfer.
struct EmptyRequest {
  nlohmann::ordered_json toJson() const { return nlohmann::ordered_json::object(); }
  friend bool operator==(const EmptyRequest&, const EmptyRequest&) = default;
};

// ---- Responses (decode only) ----

// Answer to create transfer.
struct RemoteTransferSession {
  std::string transferId;
  std::chrono::system_clock::time_point expiresAt;
  std::int64_t expiryDays = 0;

  static RemoteTransferSession fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteTransferSession&, const RemoteTransferSession&) = default;
};

enum class RemoteUploadStrategy { single, multipart };

std::string_view rawValue(RemoteUploadStrategy strategy);
// None for any string other than "single" and "multipart".
std::optional<RemoteUploadStrategy> remoteUploadStrategy(std::string_view rawValue);

struct RemoteFilePlan {
  std::string referenceId;  // the id of the registration it answers
  std::string fileId;
  std::string filename;
  RemoteUploadStrategy strategy = RemoteUploadStrategy::single;  // an unknown strategy refuses the answer
  std::optional<std::string> uploadId;                           // the storage's multipart upload id
  std::optional<std::int64_t> partSize;

  static RemoteFilePlan fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteFilePlan&, const RemoteFilePlan&) = default;
};

// Answer to register files.
struct RemoteFilePlanResponse {
  std::vector<RemoteFilePlan> plans;

  static RemoteFilePlanResponse fromJson(const platform::JsonValue& json);
  // The same from the answer's text, each plan decoded as it is read: the answer never stands as a
  // tree beside the plans. `expectedPlans` (the number of files registered) sizes the list.
  static RemoteFilePlanResponse decode(std::string_view text, std::size_t expectedPlans = 0);
  friend bool operator==(const RemoteFilePlanResponse&, const RemoteFilePlanResponse&) = default;
};

// Answer to sign single upload. The headers are the service's wish list; the upload policy filters
// them before any reaches storage.
struct SignedSingleUpload {
  platform::Url url;
  std::map<std::string, std::string> headers;

  static SignedSingleUpload fromJson(const platform::JsonValue& json);
  friend bool operator==(const SignedSingleUpload&, const SignedSingleUpload&) = default;
};

struct SignedUploadPart {
  std::int64_t partNumber = 0;
  platform::Url url;

  static SignedUploadPart fromJson(const platform::JsonValue& json);
  friend bool operator==(const SignedUploadPart&, const SignedUploadPart&) = default;
};

// Answer to sign parts.
struct SignedMultipartUpload {
  std::vector<SignedUploadPart> urls;

  static SignedMultipartUpload fromJson(const platform::JsonValue& json);
  friend bool operator==(const SignedMultipartUpload&, const SignedMultipartUpload&) = default;
};

// Answer to complete a file.
struct RemoteFileCompletion {
  std::string fileId;
  std::optional<std::string> referenceId;

  static RemoteFileCompletion fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteFileCompletion&, const RemoteFileCompletion&) = default;
};

struct RemoteFileResumeState {
  std::string fileId;
  std::int64_t expectedSize = 0;
  std::string status;  // free text; the engine acts on "completed", "ready_to_complete", "expired"
  std::optional<std::int64_t> partSize;
  std::int64_t bytesUploaded = 0;
  // Missing stays absent: "no list" and "no parts yet" mean different things to the engine.
  std::optional<std::vector<CompletedUploadPart>> completedParts;
  std::optional<std::string> localFileId;  // the id under which the file was registered

  static RemoteFileResumeState fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteFileResumeState&, const RemoteFileResumeState&) = default;
};

// Answer to resume state.
struct RemoteTransferResumeState {
  std::string transferId;
  bool resumable = false;
  std::int64_t totalBytes = 0;
  std::int64_t bytesUploaded = 0;
  std::vector<RemoteFileResumeState> files;

  static RemoteTransferResumeState fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteTransferResumeState&, const RemoteTransferResumeState&) = default;
};

// One finished transfer as the service lists it; identified by id.
struct RecentTransfer {
  std::string id;
  std::string title;
  std::int64_t fileCount = 0;
  std::int64_t totalBytes = 0;
  std::chrono::system_clock::time_point createdAt;
  std::string downloadSlug;
  std::optional<std::string> mimeType;
  std::vector<std::string> mimeTypes;  // missing or null decodes as empty

  static RecentTransfer fromJson(const platform::JsonValue& json);
  friend bool operator==(const RecentTransfer&, const RecentTransfer&) = default;
};

// Answer to complete the transfer.
struct RemoteTransferCompletion {
  bool completed = false;
  std::string id;    // the transfer's identifier
  std::string slug;  // the download slug of the share link
  bool isFirstTransfer = false;
  std::optional<RecentTransfer> recentTransfer;

  static RemoteTransferCompletion fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteTransferCompletion&, const RemoteTransferCompletion&) = default;
};

// Answer to the recent-transfers list.
struct RecentTransfersResponse {
  std::vector<RecentTransfer> transfers;

  static RecentTransfersResponse fromJson(const platform::JsonValue& json);
  friend bool operator==(const RecentTransfersResponse&, const RecentTransfersResponse&) = default;
};

// Answer to delete transfer: any JSON value, nothing read.
struct EmptyResponse {
  static EmptyResponse fromJson(const platform::JsonValue&) { return {}; }
  friend bool operator==(const EmptyResponse&, const EmptyResponse&) = default;
};

// Body of a non-success answer: {"error": {"code": …, "message": …}}, all three keys required.
struct RemoteAPIErrorEnvelope {
  struct Payload {
    std::string code;
    std::string message;
    friend bool operator==(const Payload&, const Payload&) = default;
  };
  Payload error;

  static RemoteAPIErrorEnvelope fromJson(const platform::JsonValue& json);
  friend bool operator==(const RemoteAPIErrorEnvelope&, const RemoteAPIErrorEnvelope&) = default;
};

// ---- Errors ----

// The error of the transfer and recent-transfers clients; what() is its user-facing text. Thrown
// or carried as a value; equal when the case and, for rejected, status, code and message are equal.
class TransferAPIError : public std::exception {
 public:
  struct Rejected {
    std::int64_t status = 0;
    std::string code;
    std::string message;  // shown as it is
    friend bool operator==(const Rejected&, const Rejected&) = default;
  };
  struct Unauthorized {
    friend bool operator==(const Unauthorized&, const Unauthorized&) = default;
  };
  struct InvalidResponse {
    friend bool operator==(const InvalidResponse&, const InvalidResponse&) = default;
  };
  struct TransportUnavailable {
    friend bool operator==(const TransportUnavailable&, const TransportUnavailable&) = default;
  };
  using Case = std::variant<Rejected, Unauthorized, InvalidResponse, TransportUnavailable>;

  explicit TransferAPIError(Case errorCase);
  static TransferAPIError rejected(std::int64_t status, std::string code, std::string message);
  static TransferAPIError unauthorized() { return TransferAPIError(Unauthorized{}); }
  static TransferAPIError invalidResponse() { return TransferAPIError(InvalidResponse{}); }
  static TransferAPIError transportUnavailable() { return TransferAPIError(TransportUnavailable{}); }

  const Case& errorCase() const { return case_; }
  template <typename T>
  bool is() const {
    return std::holds_alternative<T>(case_);
  }
  const std::string& errorDescription() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

  // How long the service asked us to wait before asking again (its Retry-After), when it said.
  // Not part of what the error is: two refusals that differ only here are equal.
  const std::optional<std::chrono::seconds>& retryAfter() const { return retryAfter_; }
  TransferAPIError& withRetryAfter(std::optional<std::chrono::seconds> delay) {
    retryAfter_ = delay;
    return *this;
  }

  // Whether the request was cut by a change of network before any answer came, so that sending it
  // again at once, on a new connection, is what helps. Not part of what the error is either.
  bool cutByNetworkChange() const { return cutByNetworkChange_; }
  TransferAPIError& withCutByNetworkChange() {
    cutByNetworkChange_ = true;
    return *this;
  }

  friend bool operator==(const TransferAPIError& a, const TransferAPIError& b) { return a.case_ == b.case_; }

 private:
  Case case_;
  std::string description_;
  std::optional<std::chrono::seconds> retryAfter_;
  bool cutByNetworkChange_ = false;
};

}  // namespace tavrel
