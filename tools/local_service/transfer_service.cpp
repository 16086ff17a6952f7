#include "local_service/transfer_service.h"

#include "platform/regex.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <sstream>
#include <string_view>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include <nlohmann/json.hpp>

#include "local_service/file_registrations.h"
#include "local_service/sign_in_service.h"
#include "platform/iso_date.h"

namespace tavrel::localservice {
namespace {

using Endpoint = TransferService::Endpoint;
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


Response envelope(int status, const std::string& code, const std::string& message) {
  return Response::json(json{{"error", {{"code", code}, {"message", message}}}}.dump(), status);
}

// The answer to a change the journal could not take (the disk is full, say); the change was taken back.
Response notKept() {
  return envelope(503, "not_kept", "The service could not save this change. Free some disk space and try again.");
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

std::int64_t partCountOf(const TransferService::StoredFile& file) {
  if (!file.multipart || file.partSize <= 0 || file.size <= 0) return 0;
  return (file.size - 1) / file.partSize + 1;
}

std::int64_t partLength(const TransferService::StoredFile& file, std::int64_t number) {
  return std::min(file.partSize, file.size - (number - 1) * file.partSize);
}

bool hasAllParts(const TransferService::StoredFile& file) {
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

bool holdsWholeObject(const TransferService::StoredFile& file) {
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

// Completed transfers that are not deleted, newest first; within one second of completion, the
// later made first.
std::vector<const TransferService::StoredTransfer*> completedNewestFirst(
    const std::vector<TransferService::StoredTransfer>& transfers) {
  std::vector<const TransferService::StoredTransfer*> completed;
  for (auto transfer = transfers.rbegin(); transfer != transfers.rend(); ++transfer) {
    if (transfer->completed && !transfer->deleted) completed.push_back(&*transfer);
  }
  std::ranges::stable_sort(completed, [](const auto* a, const auto* b) { return a->createdAt > b->createdAt; });
  return completed;
}

}  // namespace

struct TransferService::State {
  struct Signature {
    std::string transferId;
    std::string fileId;
    std::int64_t partNumber = 0;  // 0: a whole object
    std::string objectKey;        // for presigned objects outside transfers
  };

  mutable std::mutex mutex;
  Options options;
  std::function<void()> observer;
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
  std::map<std::pair<Endpoint, std::size_t>, Response> scripted;
  std::map<Endpoint, std::size_t> handled;
  std::size_t failPeriod = 0;
  int failStatus = 0;
  std::size_t storagePuts = 0;

  std::vector<StoredTransfer> transfers;
  std::map<std::string, Signature> signatures;
  std::map<std::string, StoredPart> objects;
  std::map<std::string, std::string> completions;  // transfer id → the first completion answer
  std::size_t nextId = 1;

  // Where each transfer and each file (by its id, unique across transfers) sits in `transfers`, so
  // a request finds its own in the same time however many transfers and files are kept.
  std::unordered_map<std::string, std::size_t> transferIndex;
  std::unordered_map<std::string, std::size_t> fileIndex;

  StoredTransfer* findTransfer(const std::string& id) {
    const auto found = transferIndex.find(id);
    if (found == transferIndex.end()) return nullptr;
    StoredTransfer& transfer = transfers[found->second];
    return transfer.deleted ? nullptr : &transfer;
  }
  const StoredFile* findFile(const StoredTransfer& transfer, const std::string& fileId) const {
    const auto found = fileIndex.find(fileId);
    if (found == fileIndex.end() || found->second >= transfer.files.size()) return nullptr;
    const StoredFile& file = transfer.files[found->second];
    return file.fileId == fileId ? &file : nullptr;
  }
  StoredFile* findFile(StoredTransfer& transfer, const std::string& fileId) {
    return const_cast<StoredFile*>(std::as_const(*this).findFile(std::as_const(transfer), fileId));
  }
  // Marks a transfer changed for the journal: its header, or one of its files.
  void touch(const std::string& transferId, std::optional<std::size_t> fileIndex = std::nullopt) {
    Unjournaled* changed = unjournaledOf(transferId);
    if (!changed) return;
    if (fileIndex) {
      changed->files.push_back(*fileIndex);
    } else {
      changed->header = true;
    }
  }
  // One part of a file: journalled alone, so a file's lines grow with its parts, not with their square.
  void touchPart(const std::string& transferId, std::size_t fileIndex, std::int64_t partNumber) {
    if (Unjournaled* changed = unjournaledOf(transferId)) changed->parts.emplace_back(fileIndex, partNumber);
  }
  // A save takes this many files at a time under the lock, so requests wait for it only briefly.
  static constexpr std::size_t kFilesPerChunk = 1024;

  // Every change is written to the journal before it is answered, so what was acknowledged survives
  // a crash; state.json is rewritten later and takes in what the journal says up to its `journalSeq`.
  struct Unjournaled {
    bool header = false;
    std::vector<std::size_t> files;  // may repeat; a plain list costs a few bytes a file
    std::vector<std::pair<std::size_t, std::int64_t>> parts;  // file index, part number
  };
  std::function<bool(std::string_view piece, bool ends)> journal;
  std::map<std::size_t, Unjournaled> unjournaled;  // by index in `transfers`
  std::uint64_t journalSeq = 0;
  Unjournaled* unjournaledOf(const std::string& transferId) {
    if (!journal) return nullptr;
    const auto found = transferIndex.find(transferId);
    return found == transferIndex.end() ? nullptr : &unjournaled[found->second];
  }
  // False when the journal could not take the line; it then holds none of it.
  bool writeJournal();
  // Journals what the request changed. When the journal cannot take it, `undo` takes the change
  // back, so that memory never holds what a restart would not: later lines would build on it, and
  // the journal would no longer read back. The request is then answered notKept().
  bool journalOrUndo(const std::function<void()>& undo) {
    if (writeJournal()) return true;
    undo();
    return false;
  }

  // Sign requests open now and the most that were open at once, by transfer; and the gate that
  // holds them until so many are (see holdSignsUntilConcurrent()).
  struct OpenSigns {
    std::size_t now = 0;
    std::size_t most = 0;
  };
  std::mutex signsMutex;
  std::condition_variable signsChanged;
  std::unordered_map<std::string, OpenSigns> openSigns;
  std::size_t signsHeldUntil = 0;
  std::chrono::milliseconds signsHoldTimeout{0};
  // One sign request from its arrival to its answer; held at the gate until enough are open.
  class OpenSign {
   public:
    OpenSign(State& state, std::string transferId) : state_(state), transferId_(std::move(transferId)) {
      std::unique_lock lock(state_.signsMutex);
      auto& signs = state_.openSigns[transferId_];
      signs.most = std::max(signs.most, ++signs.now);
      state_.signsChanged.notify_all();
      if (state_.signsHeldUntil > 0) {
        state_.signsChanged.wait_for(lock, state_.signsHoldTimeout, [this] {
          return state_.openSigns[transferId_].most >= state_.signsHeldUntil;
        });
      }
    }
    ~OpenSign() {
      std::lock_guard lock(state_.signsMutex);
      --state_.openSigns[transferId_].now;
    }
    OpenSign(const OpenSign&) = delete;
    OpenSign& operator=(const OpenSign&) = delete;

   private:
    State& state_;
    std::string transferId_;
  };

  void index() {
    transferIndex.clear();
    fileIndex.clear();
    for (std::size_t t = 0; t < transfers.size(); ++t) {
      transferIndex[transfers[t].transferId] = t;
      for (std::size_t f = 0; f < transfers[t].files.size(); ++f) fileIndex[transfers[t].files[f].fileId] = f;
    }
  }
  // Where storage keeps a file's whole object (part 0) or one of its parts.
  std::filesystem::path storagePath(const std::string& transferId, const std::string& fileId,
                                    std::int64_t partNumber) const {
    const auto folder = options.storageDirectory / transferId;
    if (partNumber == 0) return folder / fileId;
    return folder / (fileId + ".parts") / std::to_string(partNumber);
  }
  std::string newSignature(Signature signature) {
    const std::string token = "sig" + std::to_string(nextId++);
    signatures.emplace(token, std::move(signature));
    return token;
  }
};

TransferService::TransferService()
    : ownService_(std::make_unique<HttpsServer>()),
      ownStorage_(std::make_unique<HttpsServer>()),
      service_(ownService_.get()),
      storage_(ownStorage_.get()),
      state_(std::make_unique<State>()) {
  // Parts are only hashed: gigabytes may pass through.
  storage_->setBodyLimit(0);
  addRoutes();
}

TransferService::TransferService(HttpsServer& server, Options options)
    : TransferService(server, server, std::move(options)) {}

TransferService::TransferService(HttpsServer& service, HttpsServer& storage, Options options)
    : service_(&service), storage_(&storage), state_(std::make_unique<State>()) {
  state_->options = std::move(options);
  if (!state_->options.storageDirectory.empty()) {
    std::filesystem::create_directories(state_->options.storageDirectory);
    // Uploads stream to disk, never into memory.
    storage_->setBodySpool(state_->options.storageDirectory, routeOf(Endpoint::storagePut).pattern);
  }
  addRoutes();
  if (!state_->options.storageDirectory.empty()) {
    addDownloadRoutes();
    addTransferPageRoutes();
  }
}

void TransferService::addRoutes() {
  State& state = *state_;
  service_->refuseBodiesOver(state.options.largestRequestBody, "/api/v1/transfers(/.*)?");

  // Runs the common checks, then either a scripted answer or the endpoint's own handling.
  const auto serve = [this, &state](Endpoint endpoint, auto handle) {
    return [this, &state, endpoint, handle](const RecordedRequest& request) -> Response {
      std::unique_lock lock(state.mutex);
      if (endpoint != Endpoint::storagePut) {
        const auto authorization = request.header("Authorization");
        const std::string prefix = "Bearer ";
        const auto accepts = [&state](const std::string& token) {
          return state.options.acceptsToken ? state.options.acceptsToken(token) : state.acceptedTokens.contains(token);
        };
        if (!authorization || authorization->rfind(prefix, 0) != 0 || !accepts(authorization->substr(prefix.size()))) {
          return envelope(401, "unauthorized", "Sign in again.");
        }
      }
      // Only once the token is known good: a stranger learns nothing, not even the limit.
      if (request.bodyRefused) {
        return envelope(413, "request_too_large", "The request is too large. Send fewer files at a time.");
      }
      // Counted, and held at the gate, outside the lock, which takes requests one at a time: open
      // is from arrival to answer.
      std::optional<State::OpenSign> open;
      if (endpoint == Endpoint::sign) {
        lock.unlock();
        open.emplace(state, request.pathMatches.at(0));
        lock.lock();
      }
      const std::size_t number = ++state.handled[endpoint];
      if (auto scripted = state.scripted.find({endpoint, number}); scripted != state.scripted.end()) {
        return scripted->second;
      }
      Response answer;
      try {
        // Each handling journals what it changed itself, before it answers.
        answer = handle(request, lock);
      } catch (const json::exception&) {
        answer = envelope(400, "bad_request", "The request body is not what this endpoint takes.");
      } catch (const std::invalid_argument&) {
        answer = envelope(400, "bad_request", "The request body is not what this endpoint takes.");
      }
      const auto observer = request.method == "GET" ? std::function<void()>() : state.observer;
      lock.unlock();
      if (observer) observer();
      return answer;
    };
  };

  const auto route = [this](Endpoint endpoint, HttpsServer::Handler handler) {
    const Route where = routeOf(endpoint);
    (where.onStorage ? storage_ : service_)->route(where.method, where.pattern, std::move(handler));
  };

  route(Endpoint::createTransfer, serve(Endpoint::createTransfer, [&state](const RecordedRequest& request, auto&) {
          const json body = json::parse(request.body);
          const auto expiryDays = body.at("expiryDays").get<std::int64_t>();
          StoredTransfer transfer;
          transfer.transferId = "tr-" + std::to_string(state.nextId++);
          transfer.createBody = request.body;
          state.transferIndex[transfer.transferId] = state.transfers.size();
          state.transfers.push_back(transfer);
          state.touch(transfer.transferId);
          if (!state.journalOrUndo([&] {
                state.transferIndex.erase(transfer.transferId);
                state.transfers.pop_back();
              })) {
            return notKept();
          }
          return Response::json(
              json{{"transferId", transfer.transferId}, {"expiresAt", "2031-01-31T09:30:00Z"}, {"expiryDays", expiryDays}}
                  .dump());
        }));

  route(Endpoint::recentTransfers, serve(Endpoint::recentTransfers, [&state](const RecordedRequest&, auto&) {
          if (!state.options.listsCompletedTransfers) return Response::json(state.recentBody);
          json list = json::array();
          for (const auto* transfer : completedNewestFirst(state.transfers)) {
            const json answer = json::parse(state.completions.at(transfer->transferId));
            list.push_back(answer.at("recentTransfer"));
          }
          return Response::json(json{{"transfers", list}}.dump());
        }));

  route(Endpoint::registerFiles, serve(Endpoint::registerFiles, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          // Read straight into the service's records, and kept only once the whole body has read
          // well: no file of a body refused half-way is registered.
          std::vector<StoredFile> files;
          // Room for them at once, as near as a count of a key tells: grown by doubling, the list
          // would take up to twice its size, then and for as long as the transfer is kept.
          std::size_t expected = 0;
          for (std::size_t at = request.body.find("\"relativePath\""); at != std::string::npos;
               at = request.body.find("\"relativePath\"", at + 1)) {
            ++expected;
          }
          files.reserve(expected);
          std::size_t nextId = state.nextId;
          const bool isList = readFileRegistrations(request.body, [&](FileRegistration&& registration) {
            StoredFile& file = files.emplace_back();
            file.fileId = "file-" + std::to_string(nextId++);
            file.referenceId = std::move(registration.id);
            file.filename = std::move(registration.filename);
            file.relativePath = std::move(registration.relativePath);
            file.mime = std::move(registration.mime);
            file.size = registration.size;
            file.multipart = file.size >= state.multipartThreshold;
            file.partSize = file.multipart ? state.partSize.value_or(0) : 0;
          });
          if (!isList) return envelope(400, "bad_request", "Files must be a list.");
          state.nextId = nextId;
          const std::size_t first = transfer->files.size();
          if (first == 0) {
            transfer->files = std::move(files);
          } else {
            transfer->files.insert(transfer->files.end(), std::make_move_iterator(files.begin()),
                                   std::make_move_iterator(files.end()));
          }
          std::vector<StoredFile>().swap(files);
          for (std::size_t i = first; i < transfer->files.size(); ++i) {
            state.fileIndex[transfer->files[i].fileId] = i;
            state.touch(transfer->transferId, i);
          }
          if (!state.journalOrUndo([&] {
                for (std::size_t i = first; i < transfer->files.size(); ++i) state.fileIndex.erase(transfer->files[i].fileId);
                transfer->files.erase(transfer->files.begin() + static_cast<std::ptrdiff_t>(first), transfer->files.end());
                if (first == 0) std::vector<StoredFile>().swap(transfer->files);
              })) {
            return notKept();
          }

          // The plans are written as text, not built as a JSON tree: there may be hundreds of
          // thousands. Keys in the order a JSON object dumps them.
          std::vector<const StoredFile*> plans;
          plans.reserve(transfer->files.size() - first);
          for (std::size_t i = first; i < transfer->files.size(); ++i) plans.push_back(&transfer->files[i]);
          std::optional<std::string> firstReference;
          std::optional<std::string> firstStrategy;
          switch (state.planMutation) {
            case PlanMutation::dropLast:
              if (!plans.empty()) plans.pop_back();
              break;
            case PlanMutation::duplicateFirst:
              if (plans.size() >= 2) plans.back() = plans.front();
              break;
            case PlanMutation::unknownStrategy:
              if (!plans.empty()) firstStrategy = "resumable";
              break;
            case PlanMutation::foreignReference:
              if (!plans.empty()) firstReference = "SOMEONE-ELSES-FILE";
              break;
            case PlanMutation::none:
            case PlanMutation::omitPartSize:
              break;
          }
          const bool writesPartSize = state.partSize && state.planMutation != PlanMutation::omitPartSize;
          std::string body = "{\"plans\":[";
          for (std::size_t i = 0; i < plans.size(); ++i) {
            const StoredFile& file = *plans[i];
            if (i > 0) body += ',';
            body += "{\"fileId\":";
            appendJSONString(body, file.fileId);
            body += ",\"filename\":";
            appendJSONString(body, file.filename);
            if (file.multipart && writesPartSize) body += ",\"partSize\":" + std::to_string(*state.partSize);
            body += ",\"referenceId\":";
            appendJSONString(body, i == 0 && firstReference ? *firstReference : file.referenceId);
            body += ",\"strategy\":";
            appendJSONString(body, i == 0 && firstStrategy ? *firstStrategy : (file.multipart ? "multipart" : "single"));
            if (file.multipart) {
              body += ",\"uploadId\":";
              appendJSONString(body, "upload-" + file.fileId);
            }
            body += '}';
          }
          body += "]}";
          return Response::json(std::move(body));
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
            const auto signature = state.newSignature({transfer->transferId, file->fileId, 0, {}});
            json headers = json::object();
            if (state.signedHeaders) {
              for (const auto& [name, value] : *state.signedHeaders) headers[name] = value;
            } else {
              headers["Content-Type"] = file->mime;
            }
            return Response::json(
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
            const auto signature = state.newSignature({transfer->transferId, file->fileId, number, {}});
            urls.push_back({{"partNumber", number},
                            {"url", handOut("/storage/" + transfer->transferId + "/" + file->fileId + "/parts/" +
                                            std::to_string(number) + "?sig=" + signature)}});
          }
          return Response::json(json{{"urls", urls}}.dump());
        }));

  route(Endpoint::storagePut, serve(Endpoint::storagePut, [&state](const RecordedRequest& request, auto&) {
          ++state.storagePuts;
          const auto token = queryValue(request.query, "sig");
          auto signature = token ? state.signatures.find(*token) : state.signatures.end();
          if (signature == state.signatures.end()) {
            return envelope(403, "AccessDenied", "The signature is unknown or was used before.");
          }
          // Forgotten once used: a used signature is refused as an unknown one is, and the table
          // stays as small as the signatures still out.
          const State::Signature where = std::move(signature->second);
          state.signatures.erase(signature);
          if (state.failPeriod != 0 && state.storagePuts % state.failPeriod == 0) {
            return envelope(state.failStatus, "SlowDown", "Storage is busy.");
          }
          if (!request.bodyComplete) return envelope(400, "IncompleteBody", "The body was cut short.");
          StoredPart stored{request.bodySize, request.bodySha256, request.bodySha256.substr(0, 32)};
          Response answer;
          answer.contentType = "text/plain";
          if (!where.objectKey.empty()) {
            state.objects[where.objectKey] = stored;
          } else {
            StoredTransfer* transfer = state.findTransfer(where.transferId);
            StoredFile* file = transfer ? state.findFile(*transfer, where.fileId) : nullptr;
            if (!file) return envelope(404, "NoSuchUpload", "The upload is gone.");
            // The bytes go into place with those they replace set aside, to be put back should the
            // journal not take the change.
            std::filesystem::path path;
            std::filesystem::path previous;
            if (!request.bodyFile.empty()) {
              path = state.storagePath(where.transferId, where.fileId, where.partNumber);
              std::error_code error;
              std::filesystem::create_directories(path.parent_path(), error);
              if (!error && std::filesystem::exists(path, error)) {
                previous = path;
                previous += ".previous";
                std::filesystem::rename(path, previous, error);
                if (error) previous.clear();
              }
              if (!error) std::filesystem::rename(request.bodyFile, path, error);
              if (error) {
                if (!previous.empty()) std::filesystem::rename(previous, path, error);
                return envelope(500, "InternalError", "Storage could not keep the bytes.");
              }
            }
            const std::size_t fileIndex = state.fileIndex.at(where.fileId);
            std::optional<StoredPart> replaced;
            if (where.partNumber == 0) {
              replaced = std::exchange(file->object, stored);
              state.touch(where.transferId, fileIndex);
            } else {
              if (const auto part = file->parts.find(where.partNumber); part != file->parts.end()) replaced = part->second;
              file->parts[where.partNumber] = stored;
              state.touchPart(where.transferId, fileIndex, where.partNumber);
            }
            const bool kept = state.journalOrUndo([&] {
              if (where.partNumber == 0) {
                file->object = replaced;
              } else if (replaced) {
                file->parts[where.partNumber] = *replaced;
              } else {
                file->parts.erase(where.partNumber);
              }
              std::error_code ignored;
              if (!previous.empty()) {
                std::filesystem::rename(previous, path, ignored);
              } else if (!path.empty()) {
                std::filesystem::remove(path, ignored);
              }
            });
            if (!kept) return notKept();
            std::error_code ignored;
            if (!previous.empty()) std::filesystem::remove(previous, ignored);
            if (where.partNumber != 0 && state.omitsETag) return answer;
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
          if (file->completed) return Response::json(done.dump());
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
          state.touch(transfer->transferId, state.fileIndex.at(file->fileId));
          if (!state.journalOrUndo([&] { file->completed = false; })) return notKept();
          return Response::json(done.dump());
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
          return Response::json(json{{"transferId", transfer->transferId},
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
            return Response::json(earlier->second);
          }
          for (const auto& file : transfer->files) {
            if (!file.completed) return envelope(409, "files_incomplete", "Some files are not complete yet.");
          }
          std::int64_t total = 0;
          json mimeTypes = json::array();
          for (const auto& file : transfer->files) {
            total += file.size;
            mimeTypes.push_back(file.mime);
          }
          const json create = json::parse(transfer->createBody);
          const std::string slug = "slug-" + transfer->transferId;
          const std::string createdAt = state.options.listsCompletedTransfers
                                            ? platform::formatIsoDate(std::chrono::system_clock::now())
                                            : "2025-01-31T09:30:00Z";
          json recent{{"id", transfer->transferId},
                      {"title", create.at("title")},
                      {"fileCount", transfer->files.size()},
                      {"totalBytes", total},
                      {"createdAt", createdAt},
                      {"downloadSlug", slug},
                      {"mimeTypes", mimeTypes}};
          const std::string answer = json{{"completed", true},
                                          {"id", transfer->transferId},
                                          {"slug", slug},
                                          {"isFirstTransfer", state.completions.empty()},
                                          {"recentTransfer", recent}}
                                         .dump();
          // Changed only once the answer is made: nothing above may leave a transfer half-completed.
          transfer->completed = true;
          transfer->slug = slug;
          transfer->createdAt = createdAt;
          state.completions[transfer->transferId] = answer;
          state.touch(transfer->transferId);
          if (!state.journalOrUndo([&] {
                transfer->completed = false;
                transfer->slug.clear();
                transfer->createdAt.clear();
                state.completions.erase(transfer->transferId);
              })) {
            return notKept();
          }
          return Response::json(answer);
        }));

  route(Endpoint::deleteTransfer, serve(Endpoint::deleteTransfer, [&state](const RecordedRequest& request, auto&) {
          StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
          if (!transfer) return envelope(404, "not_found", "This transfer does not exist.");
          transfer->deleted = true;
          state.touch(transfer->transferId);
          if (!state.journalOrUndo([&] { transfer->deleted = false; })) return notKept();
          if (!state.options.storageDirectory.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(state.options.storageDirectory / transfer->transferId, ignored);
          }
          return Response::json("{}");
        }));
}

TransferService::~TransferService() {
  if (ownService_) ownService_->stop();
  if (ownStorage_) ownStorage_->stop();
}

Response htmlPage(int status, const std::string& title, const std::string& content) {
  Response answer;
  answer.status = status;
  answer.contentType = "text/html; charset=utf-8";
  const std::string head = "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                           escapeHTML(title) +
                           "</title>\n<style>body{font-family:sans-serif;max-width:40em;margin:4em auto;line-height:1.5}"
                           "</style></head>\n<body>";
  constexpr std::string_view tail = "</body></html>\n";
  // One allocation: the page of a transfer of many files is tens of megabytes.
  answer.body.reserve(head.size() + content.size() + tail.size());
  answer.body.append(head).append(content).append(tail);
  return answer;
}

namespace {

Response page(int status, const std::string& title, const std::string& content) {
  return htmlPage(status, title, content);
}

Response notFoundPage() {
  return page(404, "Transfer not found",
              "<h1>This transfer isn’t here.</h1><p>The link is wrong, or the transfer was deleted.</p>");
}

// A header value from text a client chose: control characters would end the header.
bool isSafeHeaderText(std::string_view text) {
  return !text.empty() && std::ranges::none_of(text, [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  });
}

std::string contentDisposition(const std::string& filename) {
  std::string plain;
  for (const char c : filename) {
    const auto byte = static_cast<unsigned char>(c);
    plain.push_back(byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\' || c == '/' ? '_' : c);
  }
  return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" +
         platform::percentEncode(filename, platform::CharacterSet::unreserved());
}

}  // namespace

void TransferService::addDownloadRoutes() {
  State& state = *state_;
  const auto findCompleted = [&state](const std::string& slug) -> const StoredTransfer* {
    for (const auto& transfer : state.transfers) {
      if (transfer.completed && !transfer.deleted && transfer.slug == slug) return &transfer;
    }
    return nullptr;
  };

  service_->route("GET", "/dl/([^/]+)", [&state, findCompleted](const RecordedRequest& request) {
    std::lock_guard lock(state.mutex);
    const StoredTransfer* transfer = findCompleted(request.pathMatches.at(0));
    if (!transfer) return notFoundPage();
    std::string title = "Files";
    try {
      title = json::parse(transfer->createBody).at("title").get<std::string>();
    } catch (const json::exception&) {
    }
    // Written into one text: a page of many files is tens of megabytes.
    std::string content = "<h1>" + escapeHTML(title) + "</h1>\n<ul>\n";
    content.reserve(content.size() + transfer->files.size() * 128);
    const std::string prefix = "<li><a download href=\"/dl/" + escapeHTML(transfer->slug) + "/files/";
    for (const auto& file : transfer->files) {
      const std::string& name = file.relativePath.empty() ? file.filename : file.relativePath;
      content.append(prefix).append(escapeHTML(file.fileId)).append("\">").append(escapeHTML(name));
      content.append("</a> (").append(std::to_string(file.size)).append(" bytes)</li>\n");
    }
    content += "</ul>\n<p><small>Served by the local Tavrel service for development.</small></p>";
    return page(200, title, content);
  });

  service_->route("GET", "/dl/([^/]+)/files/([^/]+)", [&state, findCompleted](const RecordedRequest& request) {
    std::lock_guard lock(state.mutex);
    const StoredTransfer* transfer = findCompleted(request.pathMatches.at(0));
    if (!transfer) return notFoundPage();
    // Through the index: a page of many files is downloaded file by file.
    const StoredFile* file = state.findFile(*transfer, request.pathMatches.at(1));
    if (!file) return notFoundPage();
    Response answer;
    answer.contentType = isSafeHeaderText(file->mime) ? file->mime : "application/octet-stream";
    answer.headers.push_back({"Content-Disposition", contentDisposition(file->filename)});
    if (!file->multipart) {
      answer.bodyFiles.push_back(state.storagePath(transfer->transferId, file->fileId, 0));
    } else {
      for (std::int64_t number = 1; number <= partCountOf(*file); ++number) {
        answer.bodyFiles.push_back(state.storagePath(transfer->transferId, file->fileId, number));
      }
    }
    // An empty file has nothing on disk to stream.
    if (file->size == 0) answer.bodyFiles.clear();
    return answer;
  });
}

namespace {

std::string titleOf(const TransferService::StoredTransfer& transfer) {
  try {
    return json::parse(transfer.createBody).at("title").get<std::string>();
  } catch (const json::exception&) {
    return "Files";
  }
}

std::int64_t totalSize(const TransferService::StoredTransfer& transfer) {
  std::int64_t total = 0;
  for (const auto& file : transfer.files) total += file.size;
  return total;
}

}  // namespace

// The web application's own pages of the account's transfers, which the program opens ("View",
// "View All", a notification's click). There is one account, so they need no sign-in.
void TransferService::addTransferPageRoutes() {
  State& state = *state_;
  const auto shareLink = [this](const StoredTransfer& transfer) {
    return service_->url("/dl/" + platform::percentEncode(transfer.slug, platform::CharacterSet::unreserved()))
        .toString();
  };

  service_->route("GET", "/transfers/?", [&state, shareLink](const RecordedRequest&) {
    std::lock_guard lock(state.mutex);
    std::string rows;
    for (const auto* transfer : completedNewestFirst(state.transfers)) {
      const std::string link = shareLink(*transfer);
      rows += "<li><a href=\"/transfers/" +
              escapeHTML(platform::percentEncode(transfer->transferId, platform::CharacterSet::unreserved())) +
              "\">" + escapeHTML(titleOf(*transfer)) + "</a>: " + std::to_string(transfer->files.size()) +
              (transfer->files.size() == 1 ? " file, " : " files, ") + std::to_string(totalSize(*transfer)) +
              " bytes, " + escapeHTML(transfer->createdAt) + "<br>Link: <a href=\"" + escapeHTML(link) + "\">" +
              escapeHTML(link) + "</a></li>\n";
    }
    const std::string content = rows.empty() ? "<p>No transfers yet.</p>" : "<ul>\n" + rows + "</ul>";
    return page(200, "Transfers", "<h1>Transfers</h1>\n" + content);
  });

  service_->route("GET", "/transfers/([^/]+)", [&state, shareLink](const RecordedRequest& request) {
    std::lock_guard lock(state.mutex);
    const StoredTransfer* transfer = state.findTransfer(request.pathMatches.at(0));
    if (!transfer || !transfer->completed) return notFoundPage();
    const std::string link = shareLink(*transfer);
    std::string list;
    for (const auto& file : transfer->files) {
      const std::string name = file.relativePath.empty() ? file.filename : file.relativePath;
      list += "<li>" + escapeHTML(name) + " (" + std::to_string(file.size) + " bytes)</li>\n";
    }
    return page(200, titleOf(*transfer),
                "<h1>" + escapeHTML(titleOf(*transfer)) + "</h1>\n<p>Link: <a href=\"" + escapeHTML(link) + "\">" +
                    escapeHTML(link) + "</a></p>\n<p>Sent " + escapeHTML(transfer->createdAt) + "</p>\n<ul>\n" +
                    list + "</ul>\n<p><a href=\"/transfers\">All transfers</a></p>");
  });
}

namespace {

TransferService::StoredPart partFromJSON(const json& value) {
  return {value.at("size").get<std::uint64_t>(), value.at("sha256").get<std::string>(),
          value.at("etag").get<std::string>()};
}

// The saved text is written directly rather than through JSON trees, which cost many times the
// text; keys in the order a JSON object dumps them.
void appendPart(std::string& out, const TransferService::StoredPart& part) {
  out += "{\"etag\":";
  appendJSONString(out, part.etag);
  out += ",\"sha256\":";
  appendJSONString(out, part.sha256);
  out += ",\"size\":" + std::to_string(part.size) + "}";
}

void appendFile(std::string& out, const TransferService::StoredFile& file) {
  const auto flag = [](bool value) { return value ? "true" : "false"; };
  out += "{\"completed\":";
  out += flag(file.completed);
  out += ",\"fileId\":";
  appendJSONString(out, file.fileId);
  out += ",\"filename\":";
  appendJSONString(out, file.filename);
  out += ",\"mime\":";
  appendJSONString(out, file.mime);
  out += ",\"multipart\":";
  out += flag(file.multipart);
  out += ",\"object\":";
  if (file.object) {
    appendPart(out, *file.object);
  } else {
    out += "null";
  }
  out += ",\"partSize\":" + std::to_string(file.partSize) + ",\"parts\":{";
  bool first = true;
  for (const auto& [number, part] : file.parts) {
    if (!first) out += ',';
    first = false;
    out += "\"" + std::to_string(number) + "\":";
    appendPart(out, part);
  }
  out += "},\"referenceId\":";
  appendJSONString(out, file.referenceId);
  out += ",\"relativePath\":";
  appendJSONString(out, file.relativePath);
  out += ",\"size\":" + std::to_string(file.size) + "}";
}

TransferService::StoredFile fileFromJSON(const json& entry) {
  TransferService::StoredFile file;
  file.fileId = entry.at("fileId").get<std::string>();
  file.referenceId = entry.at("referenceId").get<std::string>();
  file.filename = entry.at("filename").get<std::string>();
  file.relativePath = entry.at("relativePath").get<std::string>();
  file.mime = entry.at("mime").get<std::string>();
  file.size = entry.at("size").get<std::int64_t>();
  file.multipart = entry.at("multipart").get<bool>();
  file.partSize = entry.at("partSize").get<std::int64_t>();
  if (!entry.at("object").is_null()) file.object = partFromJSON(entry.at("object"));
  for (const auto& [number, part] : entry.at("parts").items()) file.parts[std::stoll(number)] = partFromJSON(part);
  file.completed = entry.at("completed").get<bool>();
  return file;
}

// A transfer without its files, the same keys in the state file (around "files") and the journal.
void appendHeaderFields(std::string& out, const TransferService::StoredTransfer& transfer) {
  const auto flag = [](bool value) { return value ? "true" : "false"; };
  out += "\"completed\":";
  out += flag(transfer.completed);
  out += ",\"createBody\":";
  appendJSONString(out, transfer.createBody);
  out += ",\"createdAt\":";
  appendJSONString(out, transfer.createdAt);
  out += ",\"deleted\":";
  out += flag(transfer.deleted);
}
void appendHeaderTail(std::string& out, const TransferService::StoredTransfer& transfer) {
  out += "\"slug\":";
  appendJSONString(out, transfer.slug);
  out += ",\"transferId\":";
  appendJSONString(out, transfer.transferId);
}

void applyHeader(TransferService::StoredTransfer& transfer, const json& entry) {
  transfer.transferId = entry.at("transferId").get<std::string>();
  transfer.createBody = entry.at("createBody").get<std::string>();
  transfer.deleted = entry.at("deleted").get<bool>();
  transfer.completed = entry.at("completed").get<bool>();
  transfer.slug = entry.at("slug").get<std::string>();
  transfer.createdAt = entry.at("createdAt").get<std::string>();
}

}  // namespace

bool TransferService::State::writeJournal() {
  if (!journal || unjournaled.empty()) {
    unjournaled.clear();
    return true;
  }
  // Put together file by file with the state file's writers and handed on a piece at a time: a
  // registration of many files never becomes one JSON tree, nor one text, in memory.
  constexpr std::size_t kJournalPiece = 1 << 20;
  std::string line = "{\"seq\":" + std::to_string(++journalSeq) + ",\"nextId\":" + std::to_string(nextId) +
                     ",\"transfers\":[";
  bool kept = true;
  bool firstChange = true;
  for (auto& [index, changed] : unjournaled) {
    if (index >= transfers.size()) continue;
    const StoredTransfer& transfer = transfers[index];
    line += (firstChange ? "{\"index\":" : ",{\"index\":") + std::to_string(index);
    firstChange = false;
    if (changed.header) {
      line += ",\"header\":{";
      appendHeaderFields(line, transfer);
      line += ',';
      appendHeaderTail(line, transfer);
      line += '}';
      if (const auto completion = completions.find(transfer.transferId); completion != completions.end()) {
        line += ",\"completion\":";
        appendJSONString(line, completion->second);
      }
    }
    line += ",\"files\":[";
    std::sort(changed.files.begin(), changed.files.end());
    changed.files.erase(std::unique(changed.files.begin(), changed.files.end()), changed.files.end());
    bool firstFile = true;
    for (const auto file : changed.files) {
      if (file >= transfer.files.size()) continue;
      line += (firstFile ? "[" : ",[") + std::to_string(file) + ",";
      appendFile(line, transfer.files[file]);
      line += ']';
      firstFile = false;
      if (line.size() >= kJournalPiece) {
        kept = journal(line, false);
        if (!kept) break;
        line.clear();
      }
    }
    if (!kept) break;
    line += ']';
    // A part alone, unless its file's whole record is in the line already.
    std::sort(changed.parts.begin(), changed.parts.end());
    changed.parts.erase(std::unique(changed.parts.begin(), changed.parts.end()), changed.parts.end());
    bool firstPart = true;
    for (const auto& [file, number] : changed.parts) {
      if (file >= transfer.files.size() || std::binary_search(changed.files.begin(), changed.files.end(), file)) continue;
      const auto part = transfer.files[file].parts.find(number);
      if (part == transfer.files[file].parts.end()) continue;
      line += firstPart ? ",\"parts\":[[" : ",[";
      line += std::to_string(file) + "," + std::to_string(number) + ",";
      appendPart(line, part->second);
      line += ']';
      firstPart = false;
    }
    if (!firstPart) line += ']';
    line += '}';
  }
  unjournaled.clear();
  if (kept) {
    line += "]}";
    kept = journal(line, true);
  }
  // The journal dropped the whole line: the number goes to the next one.
  if (!kept) --journalSeq;
  return kept;
}

void TransferService::setJournal(std::function<bool(std::string_view piece, bool ends)> journal) {
  std::lock_guard lock(state_->mutex);
  state_->journal = std::move(journal);
  state_->unjournaled.clear();
}

std::uint64_t TransferService::replayJournal(const std::vector<std::string>& lines) {
  std::lock_guard lock(state_->mutex);
  State& state = *state_;
  for (std::size_t number = 0; number < lines.size(); ++number) {
    try {
      const json entry = json::parse(lines[number]);
      const auto seq = entry.at("seq").get<std::uint64_t>();
      if (seq <= state.journalSeq) continue;  // state.json holds it already
      state.journalSeq = seq;
      state.nextId = std::max(state.nextId, entry.at("nextId").get<std::size_t>());
      for (const auto& change : entry.at("transfers")) {
        const auto index = change.at("index").get<std::size_t>();
        if (index > state.transfers.size()) throw std::runtime_error("it skips a transfer");
        if (index == state.transfers.size()) state.transfers.emplace_back();
        StoredTransfer& transfer = state.transfers[index];
        if (change.contains("header")) applyHeader(transfer, change.at("header"));
        if (change.contains("completion")) {
          state.completions[transfer.transferId] = change.at("completion").get<std::string>();
        }
        for (const auto& item : change.at("files")) {
          const auto fileIndex = item.at(0).get<std::size_t>();
          if (fileIndex > transfer.files.size()) throw std::runtime_error("it skips a file");
          if (fileIndex == transfer.files.size()) transfer.files.emplace_back();
          transfer.files[fileIndex] = fileFromJSON(item.at(1));
        }
        if (!change.contains("parts")) continue;
        for (const auto& item : change.at("parts")) {
          const auto fileIndex = item.at(0).get<std::size_t>();
          if (fileIndex >= transfer.files.size()) throw std::runtime_error("it has a part of a file it skips");
          transfer.files[fileIndex].parts[item.at(1).get<std::int64_t>()] = partFromJSON(item.at(2));
        }
      }
    } catch (const std::exception& error) {
      throw std::runtime_error("line " + std::to_string(number + 1) + ": " + error.what());
    }
  }
  state.index();
  return state.journalSeq;
}

std::string TransferService::savedState(std::uint64_t* journalSeq) const {
  std::ostringstream text;
  writeSavedState(text, journalSeq);
  return std::move(text).str();
}

void TransferService::writeSavedState(std::ostream& out, std::uint64_t* savedJournalSeq) const {
  // Written as it is taken, a transfer's fields and then its files a run at a time, each under
  // the lock that every request needs: nothing of it is kept between saves, nor gathered into one
  // text, and no request waits for more than a run. The journal number is taken first: a change
  // made while the runs are taken is in a later journal line, which a start applies again over
  // whatever of it the file holds (a line sets values rather than adding to them, so applying one
  // twice is harmless).
  std::size_t transferCount = 0;
  {
    std::lock_guard lock(state_->mutex);
    transferCount = state_->transfers.size();
    if (savedJournalSeq) *savedJournalSeq = state_->journalSeq;
    out << "{\"completions\":" << json(state_->completions).dump() << ",\"journalSeq\":" << state_->journalSeq
        << ",\"nextId\":" << state_->nextId << ",\"transfers\":[";
  }
  std::string text;
  for (std::size_t t = 0; t < transferCount; ++t) {
    std::string tail;
    std::size_t files = 0;
    {
      std::lock_guard lock(state_->mutex);
      const StoredTransfer& transfer = state_->transfers[t];
      text = t > 0 ? ",{" : "{";
      appendHeaderFields(text, transfer);
      text += ",\"files\":[";
      tail = "],";
      appendHeaderTail(tail, transfer);
      tail += "}";
      files = transfer.files.size();
    }
    out << text;
    for (std::size_t start = 0; start < files; start += State::kFilesPerChunk) {
      text.clear();
      {
        std::lock_guard lock(state_->mutex);
        const StoredTransfer& transfer = state_->transfers[t];
        for (std::size_t f = start; f < std::min(files, start + State::kFilesPerChunk); ++f) {
          if (f > 0) text += ',';
          appendFile(text, transfer.files[f]);
        }
      }
      out << text;
    }
    out << tail;
  }
  out << "]}";
}

void TransferService::restoreState(const nlohmann::json& saved) {
  std::vector<StoredTransfer> transfers;
  for (const auto& entry : saved.at("transfers")) {
    StoredTransfer transfer;
    applyHeader(transfer, entry);
    for (const auto& fileEntry : entry.at("files")) transfer.files.push_back(fileFromJSON(fileEntry));
    transfers.push_back(std::move(transfer));
  }
  auto completions = saved.at("completions").get<std::map<std::string, std::string>>();
  const auto nextId = saved.at("nextId").get<std::size_t>();
  // Written before the journal came: it has taken nothing from one.
  const auto journalSeq = saved.value("journalSeq", std::uint64_t{0});

  std::lock_guard lock(state_->mutex);
  state_->transfers = std::move(transfers);
  state_->completions = std::move(completions);
  state_->nextId = nextId;
  state_->journalSeq = journalSeq;
  state_->index();
}

void TransferService::setChangeObserver(std::function<void()> observer) {
  std::lock_guard lock(state_->mutex);
  state_->observer = std::move(observer);
}

platform::Url TransferService::webAppURL() const { return service_->url("/"); }
platform::Url TransferService::storageURL(std::string_view pathAndQuery) const { return storage_->url(pathAndQuery); }

void TransferService::setAcceptedTokens(std::set<std::string> tokens) {
  std::lock_guard lock(state_->mutex);
  state_->acceptedTokens = std::move(tokens);
}
void TransferService::setMultipartThreshold(std::int64_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->multipartThreshold = bytes;
}
void TransferService::setPartSize(std::optional<std::int64_t> partSize) {
  std::lock_guard lock(state_->mutex);
  state_->partSize = partSize;
}
void TransferService::setPlanMutation(PlanMutation mutation) {
  std::lock_guard lock(state_->mutex);
  state_->planMutation = mutation;
}
void TransferService::setSignedHeaders(std::optional<std::map<std::string, std::string>> headers) {
  std::lock_guard lock(state_->mutex);
  state_->signedHeaders = std::move(headers);
}
void TransferService::setStorageURLRewrite(std::function<std::string(const std::string&)> rewrite) {
  std::lock_guard lock(state_->mutex);
  state_->rewrite = std::move(rewrite);
}
void TransferService::setStorageOmitsETag(bool omits) {
  std::lock_guard lock(state_->mutex);
  state_->omitsETag = omits;
}
void TransferService::setResumable(bool resumable) {
  std::lock_guard lock(state_->mutex);
  state_->resumable = resumable;
}
void TransferService::setExpired(const std::string& referenceId) {
  std::lock_guard lock(state_->mutex);
  state_->expiredReferences.insert(referenceId);
}
void TransferService::setRecentTransfersBody(std::string body) {
  std::lock_guard lock(state_->mutex);
  state_->recentBody = std::move(body);
}

void TransferService::addFault(Endpoint endpoint, std::size_t requestNumber, Fault fault) {
  const Route where = routeOf(endpoint);
  (where.onStorage ? storage_ : service_)->addFault(where.method, where.pattern, requestNumber, fault);
}

void TransferService::respond(Endpoint endpoint, std::size_t requestNumber, Response response) {
  std::lock_guard lock(state_->mutex);
  state_->scripted[{endpoint, requestNumber}] = std::move(response);
}

std::size_t TransferService::mostConcurrentSigns(const std::string& transferId) const {
  std::lock_guard lock(state_->signsMutex);
  const auto signs = state_->openSigns.find(transferId);
  return signs == state_->openSigns.end() ? 0 : signs->second.most;
}

void TransferService::holdSignsUntilConcurrent(std::size_t count, std::chrono::milliseconds timeout) {
  {
    std::lock_guard lock(state_->signsMutex);
    state_->signsHeldUntil = count;
    state_->signsHoldTimeout = timeout;
  }
  state_->signsChanged.notify_all();
}

void TransferService::failEveryNthStoragePut(std::size_t period, int status) {
  std::lock_guard lock(state_->mutex);
  state_->failPeriod = period;
  state_->failStatus = status;
}

platform::Url TransferService::presignedObjectURL(const std::string& key) {
  std::lock_guard lock(state_->mutex);
  const auto signature = state_->newSignature({{}, {}, 0, key});
  return storage_->url("/storage/objects/" + key + "?sig=" + signature);
}

std::optional<TransferService::StoredPart> TransferService::storedObject(const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  const auto object = state_->objects.find(key);
  if (object == state_->objects.end()) return std::nullopt;
  return object->second;
}

std::vector<TransferService::StoredTransfer> TransferService::transfers() const {
  std::lock_guard lock(state_->mutex);
  return state_->transfers;
}

std::optional<TransferService::StoredTransfer> TransferService::transfer(const std::string& transferId) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& transfer : state_->transfers) {
    if (transfer.transferId == transferId) return transfer;
  }
  return std::nullopt;
}

std::vector<RecordedRequest> TransferService::requests(Endpoint endpoint) const {
  const Route where = routeOf(endpoint);
  const std::regex pattern(where.pattern);
  std::vector<RecordedRequest> matching;
  for (auto& request : (where.onStorage ? storage_ : service_)->requests()) {
    if (request.method == where.method && std::regex_match(request.path, pattern)) matching.push_back(request);
  }
  return matching;
}

std::size_t TransferService::requestCount(Endpoint endpoint) const { return requests(endpoint).size(); }

bool TransferService::storageHolds(const std::string& transferId, const std::string& referenceId,
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

}  // namespace tavrel::localservice
