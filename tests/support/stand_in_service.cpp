#include "support/stand_in_service.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/curl_transport.h"
#include "service/http_session.h"

namespace tavrel::testing {
namespace {

using Endpoint = StandInService::Endpoint;
using nlohmann::json;

struct Route {
  const char* method;
  const char* pattern;
  bool onStorage;
};

Route routeOf(Endpoint endpoint) {
  switch (endpoint) {
    case Endpoint::createTransfer: return {"POST", "/api/v1/transfers", false};
    case Endpoint::recentTransfers: return {"GET", "/api/v1/transfers", false};
    case Endpoint::registerFiles: return {"POST", "/api/v1/transfers/([^/]+)/files", false};
    case Endpoint::sign: return {"POST", "/api/v1/transfers/([^/]+)/files/([^/]+)/sign", false};
    case Endpoint::completeFile: return {"PUT", "/api/v1/transfers/([^/]+)/files/([^/]+)/complete", false};
    case Endpoint::resumeState: return {"GET", "/api/v1/transfers/([^/]+)/resume-state", false};
    case Endpoint::completeTransfer: return {"PUT", "/api/v1/transfers/([^/]+)/complete", false};
    case Endpoint::deleteTransfer: return {"DELETE", "/api/v1/transfers/([^/]+)", false};
    case Endpoint::storagePut: return {"PUT", "/storage/(.+)", true};
  }
  throw std::logic_error("unknown endpoint");
}


StandInResponse envelope(int status, const std::string& code, const std::string& message) {
  return StandInResponse::json(json{{"error", {{"code", code}, {"message", message}}}}.dump(), status);
}

std::optional<std::string> queryValue(const std::optional<std::string>& query, const std::string& name) {
  if (!query) return std::nullopt;
  std::size_t start = 0;
  while (start <= query->size()) {
    const std::size_t end = std::min(query->find('&', start), query->size());
    const std::string item = query->substr(start, end - start);
    if (item.rfind(name + "=", 0) == 0) return item.substr(name.size() + 1);
    start = end + 1;
  }
  return std::nullopt;
}

std::int64_t partCountOf(const StandInService::StoredFile& file) {
  if (!file.multipart || file.partSize <= 0 || file.size <= 0) return 0;
  return (file.size - 1) / file.partSize + 1;
}

std::int64_t partLength(const StandInService::StoredFile& file, std::int64_t number) {
  return std::min(file.partSize, file.size - (number - 1) * file.partSize);
}

bool hasAllParts(const StandInService::StoredFile& file) {
  const auto count = partCountOf(file);
  if (count == 0) return false;
  for (std::int64_t number = 1; number <= count; ++number) {
    const auto part = file.parts.find(number);
    if (part == file.parts.end() || part->second.size != static_cast<std::uint64_t>(partLength(file, number))) {
      return false;
    }
  }
  return true;
}

bool holdsWholeObject(const StandInService::StoredFile& file) {
  return file.object && file.object->size == static_cast<std::uint64_t>(file.size);
}

std::string sha256OfRange(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  file.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(static_cast<std::size_t>(length), '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(length));
  if (static_cast<std::uint64_t>(file.gcount()) != length) return {};
  return sha256Of(bytes);
}

}  // namespace

struct StandInService::State {
  struct Signature {
    std::string transferId;
    std::string fileId;
    std::int64_t partNumber = 0;  // 0: a whole object
    std::string objectKey;        // for presigned objects outside transfers
    bool used = false;
  };

  mutable std::mutex mutex;
  std::set<std::string> acceptedTokens{"token-1", "token-2"};
  std::int64_t multipartThreshold = 8 * 1024 * 1024;
  std::optional<std::int64_t> partSize = 5 * 1024 * 1024;
  PlanMutation planMutation = PlanMutation::none;
  std::optional<std::map<std::string, std::string>> signedHeaders;
  std::function<std::string(const std::string&)> rewrite;
  bool omitsETag = false;
  bool resumable = true;
  std::set<std::string> expiredReferences;
  std::string recentBody = R"({"transfers":[]})";
  std::map<std::pair<Endpoint, std::size_t>, StandInResponse> scripted;
  std::map<Endpoint, std::size_t> handled;
  std::size_t failPeriod = 0;
  int failStatus = 0;
  std::size_t storagePuts = 0;

  std::vector<StoredTransfer> transfers;
  std::map<std::string, Signature> signatures;
  std::map<std::string, StoredPart> objects;
  std::map<std::string, std::string> completions;  // transfer id → the first completion answer
  std::size_t nextId = 1;

  StoredTransfer* findTransfer(const std::string& id) {
    for (auto& transfer : transfers) {
      if (transfer.transferId == id && !transfer.deleted) return &transfer;
    }
    return nullptr;
  }
  StoredFile* findFile(StoredTransfer& transfer, const std::string& fileId) {
    for (auto& file : transfer.files) {
      if (file.fileId == fileId) return &file;
    }
    return nullptr;
  }
  std::string newSignature(Signature signature) {
    const std::string token = "sig" + std::to_string(nextId++);
    signatures.emplace(token, std::move(signature));
    return token;
  }
};

StandInService::StandInService()
    : service_(std::make_unique<HttpsTestServer>()),
      storage_(std::make_unique<HttpsTestServer>()),
      state_(std::make_unique<State>()) {
  // Parts are only hashed: gigabytes may pass through.
  storage_->setBodyLimit(0);
  State& state = *state_;

  // Runs the common checks, then either a scripted answer or the endpoint's own handling.
  const auto serve = [this, &state](Endpoint endpoint, auto handle) {
    return [this, &state, endpoint, handle](const RecordedRequest& request) -> StandInResponse {
      std::unique_lock lock(state.mutex);
      if (endpoint != Endpoint::storagePut) {
        const auto authorization = request.header("Authorization");
        const std::string prefix = "Bearer ";
        if (!authorization || authorization->rfind(prefix, 0) != 0 ||
            !state.acceptedTokens.contains(authorization->substr(prefix.size()))) {
          return envelope(401, "unauthorized", "Sign in again.");
        }
      }
      const std::size_t number = ++state.handled[endpoint];
      if (auto scripted = state.scripted.find({endpoint, number}); scripted != state.scripted.end()) {
        return scripted->second;
      }
      try {
        return handle(request, lock);
      } catch (const json::exception&) {
        return envelope(400, "bad_request", "The request body is not what this endpoint takes.");
      }
    };
  };

  const auto route = [this](Endpoint endpoint, HttpsTestServer::Handler handler) {
    const Route where = routeOf(endpoint);
    (where.onStorage ? storage_ : service_)->route(where.method, where.pattern, std::move(handler));
  };

  route(Endpoint::createTransfer, serve(Endpoint::createTransfer, [&state](const RecordedRequest& request, auto&) {
          const json body = json::parse(request.body);
          StoredTransfer transfer;
          transfer.transferId = "tr-" + std::to_string(state.nextId++);
          transfer.createBody = request.body;
          state.transfers.push_back(transfer);
          return StandInResponse::json(json{{"transferId", transfer.transferId},
                                            {"expiresAt", "2031-01-31T09:30:00Z"},
                                            {"expiryDays", body.at("expiryDays").get<std::int64_t>()}}
                                           .dump());
        }));

  route(Endpoint::recentTransfers, serve(Endpoint::recentTransfers, [&state](const RecordedRequest&, auto&) {
          return StandInResponse::json(state.recentBody);
        }));

  route(Endpoint::registerFiles, serve(Endpoint::registerFiles, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          const json body = json::parse(request.body);
          if (!body.is_array()) return envelope(400, "bad_request", "Files must be a list.");
          json plans = json::array();
          for (const auto& registration : body) {
            StoredFile file;
            file.fileId = "file-" + std::to_string(state.nextId++);
            file.referenceId = registration.at("id").get<std::string>();
            file.filename = registration.at("filename").get<std::string>();
            file.relativePath = registration.at("relativePath").get<std::string>();
            file.mime = registration.at("mime").get<std::string>();
            file.size = registration.at("size").get<std::int64_t>();
            file.multipart = file.size >= state.multipartThreshold;
            file.partSize = file.multipart ? state.partSize.value_or(0) : 0;
            json plan{{"referenceId", file.referenceId},
                      {"fileId", file.fileId},
                      {"filename", file.filename},
                      {"strategy", file.multipart ? "multipart" : "single"}};
            if (file.multipart) {
              plan["uploadId"] = "upload-" + file.fileId;
              if (state.partSize && state.planMutation != PlanMutation::omitPartSize) plan["partSize"] = *state.partSize;
            }
            plans.push_back(plan);
            transfer->files.push_back(std::move(file));
          }
          switch (state.planMutation) {
            case PlanMutation::dropLast:
              if (!plans.empty()) plans.erase(plans.size() - 1);
              break;
            case PlanMutation::duplicateFirst:
              if (plans.size() >= 2) plans[plans.size() - 1] = plans[0];
              break;
            case PlanMutation::unknownStrategy:
              if (!plans.empty()) plans[0]["strategy"] = "resumable";
              break;
            case PlanMutation::foreignReference:
              if (!plans.empty()) plans[0]["referenceId"] = "SOMEONE-ELSES-FILE";
              break;
            case PlanMutation::none:
            case PlanMutation::omitPartSize:
              break;
          }
          return StandInResponse::json(json{{"plans", plans}}.dump());
        }));

  route(Endpoint::sign, serve(Endpoint::sign, [this, &state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          StoredFile* file = transfer ? state.findFile(*transfer, request.pathMatches.at(1)) : nullptr;
          if (!file) return envelope(404, "not_found", "This file does not exist.");
          const json body = json::parse(request.body);
          const auto handOut = [&](const std::string& path) {
            const std::string url = storage_->url(path).toString();
            return state.rewrite ? state.rewrite(url) : url;
          };
          if (!body.contains("partNumbers")) {
            if (file->multipart) return envelope(400, "multipart_file", "This file is uploaded in parts.");
            const auto signature = state.newSignature({transfer->transferId, file->fileId, 0, {}, false});
            json headers = json::object();
            if (state.signedHeaders) {
              for (const auto& [name, value] : *state.signedHeaders) headers[name] = value;
            } else {
              headers["Content-Type"] = file->mime;
            }
            return StandInResponse::json(
                json{{"url", handOut("/storage/" + transfer->transferId + "/" + file->fileId + "?sig=" + signature)},
                     {"headers", headers}}
                    .dump());
          }
          if (!file->multipart) return envelope(400, "single_file", "This file is uploaded whole.");
          json urls = json::array();
          for (const auto& numberJson : body.at("partNumbers")) {
            const auto number = numberJson.get<std::int64_t>();
            if (number < 1 || number > partCountOf(*file)) {
              return envelope(400, "invalid_part_number", "There is no such part.");
            }
            const auto signature = state.newSignature({transfer->transferId, file->fileId, number, {}, false});
            urls.push_back({{"partNumber", number},
                            {"url", handOut("/storage/" + transfer->transferId + "/" + file->fileId + "/parts/" +
                                            std::to_string(number) + "?sig=" + signature)}});
          }
          return StandInResponse::json(json{{"urls", urls}}.dump());
        }));

  route(Endpoint::storagePut, serve(Endpoint::storagePut, [&state](const RecordedRequest& request, auto&) {
          ++state.storagePuts;
          const auto token = queryValue(request.query, "sig");
          auto signature = token ? state.signatures.find(*token) : state.signatures.end();
          if (signature == state.signatures.end() || signature->second.used) {
            return envelope(403, "AccessDenied", "The signature is unknown or was used before.");
          }
          signature->second.used = true;
          if (state.failPeriod != 0 && state.storagePuts % state.failPeriod == 0) {
            return envelope(state.failStatus, "SlowDown", "Storage is busy.");
          }
          if (!request.bodyComplete) return envelope(400, "IncompleteBody", "The body was cut short.");
          StoredPart stored{request.bodySize, request.bodySha256, request.bodySha256.substr(0, 32)};
          StandInResponse answer;
          answer.contentType = "text/plain";
          const auto& where = signature->second;
          if (!where.objectKey.empty()) {
            state.objects[where.objectKey] = stored;
          } else {
            StoredTransfer* transfer = state.findTransfer(where.transferId);
            StoredFile* file = transfer ? state.findFile(*transfer, where.fileId) : nullptr;
            if (!file) return envelope(404, "NoSuchUpload", "The upload is gone.");
            if (where.partNumber == 0) {
              file->object = stored;
            } else {
              file->parts[where.partNumber] = stored;
              if (state.omitsETag) return answer;
            }
          }
          answer.headers.push_back({"ETag", "\"" + stored.etag + "\""});
          return answer;
        }));

  route(Endpoint::completeFile, serve(Endpoint::completeFile, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          StoredFile* file = transfer ? state.findFile(*transfer, request.pathMatches.at(1)) : nullptr;
          if (!file) return envelope(404, "not_found", "This file does not exist.");
          const json body = json::parse(request.body);
          const json done{{"fileId", file->fileId}, {"referenceId", file->referenceId}};
          if (file->completed) return StandInResponse::json(done.dump());
          if (!file->multipart) {
            if (body.contains("parts")) return envelope(400, "single_file", "This file has no parts.");
            if (!holdsWholeObject(*file)) return envelope(409, "upload_incomplete", "Storage does not hold the file.");
          } else if (!body.contains("parts")) {
            if (!hasAllParts(*file)) return envelope(409, "upload_incomplete", "Storage does not hold every part.");
          } else {
            const auto& parts = body.at("parts");
            if (static_cast<std::int64_t>(parts.size()) != partCountOf(*file)) {
              return envelope(400, "invalid_parts", "Every part must be listed once.");
            }
            for (std::size_t i = 0; i < parts.size(); ++i) {
              const auto number = parts[i].at("partNumber").get<std::int64_t>();
              const auto etag = parts[i].at("etag").get<std::string>();
              if (number != static_cast<std::int64_t>(i) + 1) {
                return envelope(400, "invalid_part_order", "Parts must be listed in ascending order.");
              }
              const auto stored = file->parts.find(number);
              if (stored == file->parts.end() || stored->second.etag != etag ||
                  stored->second.size != static_cast<std::uint64_t>(partLength(*file, number))) {
                return envelope(400, "invalid_part", "A listed part is not what storage holds.");
              }
            }
          }
          file->completed = true;
          return StandInResponse::json(done.dump());
        }));

  route(Endpoint::resumeState, serve(Endpoint::resumeState, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          json files = json::array();
          std::int64_t total = 0;
          std::int64_t uploaded = 0;
          for (const auto& file : transfer->files) {
            std::int64_t bytes = 0;
            json completedParts = json::array();
            std::string status = "pending";
            if (file.multipart) {
              for (const auto& [number, part] : file.parts) {
                if (number > partCountOf(file) || part.size != static_cast<std::uint64_t>(partLength(file, number))) {
                  continue;
                }
                bytes += static_cast<std::int64_t>(part.size);
                completedParts.push_back({{"partNumber", number}, {"etag", part.etag}});
              }
              if (hasAllParts(file)) status = "ready_to_complete";
              else if (!file.parts.empty()) status = "uploading";
            } else if (holdsWholeObject(file)) {
              bytes = file.size;
              status = "ready_to_complete";
            }
            if (file.completed) {
              status = "completed";
              bytes = file.size;
            }
            if (state.expiredReferences.contains(file.referenceId)) status = "expired";
            json entry{{"fileId", file.fileId},
                       {"expectedSize", file.size},
                       {"status", status},
                       {"bytesUploaded", bytes},
                       {"localFileId", file.referenceId}};
            if (file.multipart) {
              entry["partSize"] = file.partSize;
              entry["completedParts"] = completedParts;
            }
            files.push_back(entry);
            total += file.size;
            uploaded += bytes;
          }
          return StandInResponse::json(json{{"transferId", transfer->transferId},
                                            {"resumable", state.resumable},
                                            {"totalBytes", total},
                                            {"bytesUploaded", uploaded},
                                            {"files", files}}
                                           .dump());
        }));

  route(Endpoint::completeTransfer, serve(Endpoint::completeTransfer, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          if (auto earlier = state.completions.find(transfer->transferId); earlier != state.completions.end()) {
            return StandInResponse::json(earlier->second);
          }
          for (const auto& file : transfer->files) {
            if (!file.completed) return envelope(409, "files_incomplete", "Some files are not complete yet.");
          }
          transfer->completed = true;
          std::int64_t total = 0;
          json mimeTypes = json::array();
          for (const auto& file : transfer->files) {
            total += file.size;
            mimeTypes.push_back(file.mime);
          }
          const json create = json::parse(transfer->createBody);
          const std::string slug = "slug-" + transfer->transferId;
          json recent{{"id", transfer->transferId},
                      {"title", create.at("title")},
                      {"fileCount", transfer->files.size()},
                      {"totalBytes", total},
                      {"createdAt", "2025-01-31T09:30:00Z"},
                      {"downloadSlug", slug},
                      {"mimeTypes", mimeTypes}};
          const std::string answer = json{{"completed", true},
                                          {"id", transfer->transferId},
                                          {"slug", slug},
                                          {"isFirstTransfer", state.completions.empty()},
                                          {"recentTransfer", recent}}
                                         .dump();
          state.completions[transfer->transferId] = answer;
          return StandInResponse::json(answer);
        }));

  route(Endpoint::deleteTransfer, serve(Endpoint::deleteTransfer, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          transfer->deleted = true;
          return StandInResponse::json("{}");
        }));
}

StandInService::~StandInService() {
  service_->stop();
  storage_->stop();
}

platform::Url StandInService::webAppURL() const { return service_->url("/"); }
platform::Url StandInService::storageURL(std::string_view pathAndQuery) const { return storage_->url(pathAndQuery); }

void StandInService::setAcceptedTokens(std::set<std::string> tokens) {
  std::lock_guard lock(state_->mutex);
  state_->acceptedTokens = std::move(tokens);
}
void StandInService::setMultipartThreshold(std::int64_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->multipartThreshold = bytes;
}
void StandInService::setPartSize(std::optional<std::int64_t> partSize) {
  std::lock_guard lock(state_->mutex);
  state_->partSize = partSize;
}
void StandInService::setPlanMutation(PlanMutation mutation) {
  std::lock_guard lock(state_->mutex);
  state_->planMutation = mutation;
}
void StandInService::setSignedHeaders(std::optional<std::map<std::string, std::string>> headers) {
  std::lock_guard lock(state_->mutex);
  state_->signedHeaders = std::move(headers);
}
void StandInService::setStorageURLRewrite(std::function<std::string(const std::string&)> rewrite) {
  std::lock_guard lock(state_->mutex);
  state_->rewrite = std::move(rewrite);
}
void StandInService::setStorageOmitsETag(bool omits) {
  std::lock_guard lock(state_->mutex);
  state_->omitsETag = omits;
}
void StandInService::setResumable(bool resumable) {
  std::lock_guard lock(state_->mutex);
  state_->resumable = resumable;
}
void StandInService::setExpired(const std::string& referenceId) {
  std::lock_guard lock(state_->mutex);
  state_->expiredReferences.insert(referenceId);
}
void StandInService::setRecentTransfersBody(std::string body) {
  std::lock_guard lock(state_->mutex);
  state_->recentBody = std::move(body);
}

void StandInService::addFault(Endpoint endpoint, std::size_t requestNumber, Fault fault) {
  const Route where = routeOf(endpoint);
  (where.onStorage ? storage_ : service_)->addFault(where.method, where.pattern, requestNumber, fault);
}

void StandInService::respond(Endpoint endpoint, std::size_t requestNumber, StandInResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->scripted[{endpoint, requestNumber}] = std::move(response);
}

void StandInService::failEveryNthStoragePut(std::size_t period, int status) {
  std::lock_guard lock(state_->mutex);
  state_->failPeriod = period;
  state_->failStatus = status;
}

platform::Url StandInService::presignedObjectURL(const std::string& key) {
  std::lock_guard lock(state_->mutex);
  const auto signature = state_->newSignature({{}, {}, 0, key, false});
  return storage_->url("/storage/objects/" + key + "?sig=" + signature);
}

std::optional<StandInService::StoredPart> StandInService::storedObject(const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  const auto object = state_->objects.find(key);
  if (object == state_->objects.end()) return std::nullopt;
  return object->second;
}

std::vector<StandInService::StoredTransfer> StandInService::transfers() const {
  std::lock_guard lock(state_->mutex);
  return state_->transfers;
}

std::optional<StandInService::StoredTransfer> StandInService::transfer(const std::string& transferId) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& transfer : state_->transfers) {
    if (transfer.transferId == transferId) return transfer;
  }
  return std::nullopt;
}

std::vector<RecordedRequest> StandInService::requests(Endpoint endpoint) const {
  const Route where = routeOf(endpoint);
  const std::regex pattern(where.pattern);
  std::vector<RecordedRequest> matching;
  for (auto& request : (where.onStorage ? storage_ : service_)->requests()) {
    if (request.method == where.method && std::regex_match(request.path, pattern)) matching.push_back(request);
  }
  return matching;
}

std::size_t StandInService::requestCount(Endpoint endpoint) const { return requests(endpoint).size(); }

bool StandInService::storageHolds(const std::string& transferId, const std::string& referenceId,
                                  const std::filesystem::path& local) const {
  const auto stored = transfer(transferId);
  if (!stored) return false;
  const auto file = std::find_if(stored->files.begin(), stored->files.end(),
                                 [&](const StoredFile& candidate) { return candidate.referenceId == referenceId; });
  if (file == stored->files.end()) return false;
  if (static_cast<std::int64_t>(std::filesystem::file_size(local)) != file->size) return false;
  if (!file->multipart) return holdsWholeObject(*file) && file->object->sha256 == sha256OfFile(local);
  if (!hasAllParts(*file)) return false;
  for (const auto& [number, part] : file->parts) {
    if (number > partCountOf(*file)) return false;
    const auto offset = static_cast<std::uint64_t>((number - 1) * file->partSize);
    if (part.sha256 != sha256OfRange(local, offset, part.size)) return false;
  }
  return true;
}

std::shared_ptr<platform::HttpTransport> makeStandInSession() {
  platform::CurlTransportOptions options;
  options.certificateAuthorityFile = testCertificateAuthorityFile();
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, options);
}

ScriptedAccessTokenProvider::ScriptedAccessTokenProvider(std::vector<std::string> tokens)
    : tokens_(std::move(tokens)) {}

AccessTokenResult ScriptedAccessTokenProvider::validAccessToken(std::stop_token stop) {
  std::lock_guard lock(mutex_);
  ++validCalls_;
  if (stop.stop_requested()) return platform::unexpected(AccessTokenError::cancelled());
  if (validFailure_) return platform::unexpected(*validFailure_);
  return tokens_.at(std::min(next_, tokens_.size() - 1));
}

AccessTokenResult ScriptedAccessTokenProvider::accessToken(std::string_view rejectedToken, std::stop_token stop) {
  std::lock_guard lock(mutex_);
  rejected_.emplace_back(rejectedToken);
  if (stop.stop_requested()) return platform::unexpected(AccessTokenError::cancelled());
  if (renewalFailure_) return platform::unexpected(*renewalFailure_);
  if (next_ + 1 < tokens_.size()) ++next_;
  return tokens_.at(next_);
}

void ScriptedAccessTokenProvider::failValidAccessToken(std::optional<AccessTokenError> error) {
  std::lock_guard lock(mutex_);
  validFailure_ = std::move(error);
}

void ScriptedAccessTokenProvider::failRenewal(std::optional<AccessTokenError> error) {
  std::lock_guard lock(mutex_);
  renewalFailure_ = std::move(error);
}

int ScriptedAccessTokenProvider::validCalls() const {
  std::lock_guard lock(mutex_);
  return validCalls_;
}

std::vector<std::string> ScriptedAccessTokenProvider::rejectedTokens() const {
  std::lock_guard lock(mutex_);
  return rejected_;
}

}  // namespace tavrel::testing
