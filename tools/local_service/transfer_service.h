#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "local_service/https_server.h"
#include "platform/url.h"

namespace tavrel::localservice {

// The transfer service and its storage, played on loopback over real TLS: one HttpsServer
// answering the service's endpoints under /api/v1/transfers, one taking pre-signed PUTs (in tests,
// two servers of its own; in the local service, both on the one server it is given).
//
// It behaves as the service does: create, register (a plan per file, single below the multipart
// threshold, multipart with the chosen part size above it), sign (a fresh one-time signature per
// request; storage refuses unknown or used ones with 403), complete file (checked against what
// storage really received), resume state (built from what storage really received), complete
// transfer (idempotent: a repeat answers as the first did), delete, and the recent-transfers list.
// Non-success answers carry the error envelope {"error": {"code", "message"}}. Requests need a
// bearer token from the accepted set, else 401.
//
// Storage keeps every object and part as its size and SHA-256 (hashed as it streams in; nothing is
// kept in memory), so tests compare checksums with the local file. Given a storage folder, it also
// keeps the bytes there and serves the download pages of completed transfers under /dl/{slug},
// and the account's pages of them: /transfers (the list) and /transfers/{id} (one transfer).
//
// Faults (for tests only; nothing a request sends can switch them on): the server's transport faults (drops, stalls, bare statuses) per endpoint and request
// number through addFault(), whole scripted answers through respond(), and the knobs below for
// answers that look right but are not.
//
// IMPORTANT: Thread-safety. Every member may be called from any thread; the servers' handlers run
// on worker threads, several at once.
class TransferService {
 public:
  enum class Endpoint {
    createTransfer,     // POST   /api/v1/transfers
    registerFiles,      // POST   /api/v1/transfers/{id}/files
    sign,               // POST   /api/v1/transfers/{id}/files/{fileId}/sign
    completeFile,       // PUT    /api/v1/transfers/{id}/files/{fileId}/complete
    resumeState,        // GET    /api/v1/transfers/{id}/resume-state
    completeTransfer,   // PUT    /api/v1/transfers/{id}/complete
    deleteTransfer,     // DELETE /api/v1/transfers/{id}
    recentTransfers,    // GET    /api/v1/transfers
    storagePut,         // PUT    storage object or part
  };

  struct Options {
    // Where storage keeps the uploaded bytes; empty: sizes and checksums only, and no downloads.
    std::filesystem::path storageDirectory;
    // Decides whether a bearer token is accepted; none: the set of setAcceptedTokens().
    std::function<bool(const std::string& token)> acceptsToken;
    // The recent-transfers list holds the completed transfers, newest first, stamped with the time
    // they were completed, instead of the scripted body.
    bool listsCompletedTransfers = false;
    // The largest request body the service's endpoints take (256 MiB: the registration of 250,000
    // files with paths of up to 900 characters); a larger one is answered 413.
    std::uint64_t largestRequestBody = 256 * 1024 * 1024;
  };

  // What the service does to its plans before answering register files.
  enum class PlanMutation { none, dropLast, duplicateFirst, unknownStrategy, foreignReference, omitPartSize };

  struct StoredPart {
    std::uint64_t size = 0;
    std::string sha256;
    std::string etag;  // without quotes
  };
  struct StoredFile {
    std::string fileId;
    std::string referenceId;
    std::string filename;
    std::string relativePath;
    std::string mime;
    std::int64_t size = 0;
    bool multipart = false;
    std::int64_t partSize = 0;
    std::optional<StoredPart> object;          // a single upload as storage holds it
    std::map<std::int64_t, StoredPart> parts;  // multipart, by part number
    bool completed = false;
    bool expired = false;
  };
  struct StoredTransfer {
    std::string transferId;
    std::string createBody;  // as received
    std::vector<StoredFile> files;
    bool deleted = false;
    bool completed = false;
    std::string slug;       // once completed
    std::string createdAt;  // once completed
  };

  // On two servers of its own, with ephemeral ports; storage keeps no bytes.
  TransferService();
  // Service and storage on `server`, beside other routes; the server must outlive this and be
  // stopped before this goes.
  TransferService(HttpsServer& server, Options options);
  // The service on `service` and storage on `storage` (they may be one server), on the same terms.
  TransferService(HttpsServer& service, HttpsServer& storage, Options options);
  ~TransferService();
  TransferService(const TransferService&) = delete;
  TransferService& operator=(const TransferService&) = delete;

  // The web application's address (the service's base) and the storage server's.
  platform::Url webAppURL() const;
  platform::Url storageURL(std::string_view pathAndQuery = "/") const;
  HttpsServer& serviceServer() { return *service_; }
  HttpsServer& storageServer() { return *storage_; }

  // The transfers and their storage, to keep across restarts, as compact JSON text, and their
  // restoring from that JSON. Taken a transfer's run of files at a time, so requests are held up
  // only briefly however much is kept; nothing of it stays in memory between calls. `journalSeq`,
  // when given, gets the last journal line it holds.
  std::string savedState(std::uint64_t* journalSeq = nullptr) const;
  // The same, written to `out` piece by piece (it may be tens of megabytes).
  void writeSavedState(std::ostream& out, std::uint64_t* journalSeq = nullptr) const;
  void restoreState(const nlohmann::json& state);
  // Called after each request that may have changed the saved state, outside any lock.
  void setChangeObserver(std::function<void()> observer);
  // Given one line for each request that changed the transfers, before the request is answered,
  // under the service's lock, in pieces (a line of a big registration is tens of megabytes): the
  // line, then its end, must be kept before the call with `ends` returns. Lines are compact JSON
  // beginning {"seq":N with N their number; savedState() says up to which it holds ("journalSeq").
  // A line carries the changed transfers' fields and files whole, and a file's stored parts alone.
  // False from the journal means it could not keep the piece and holds none of the line: no more
  // of it comes, the next piece begins another line, and the request's change is taken back and
  // answered 503 ("not_kept"), so nothing is acknowledged, nor kept in memory, that a restart
  // would not have.
  void setJournal(std::function<bool(std::string_view piece, bool ends)> journal);
  // Applies the lines written after the restored state's, in their order; returns the last line's
  // sequence number.
  std::uint64_t replayJournal(const std::vector<std::string>& lines);

  // --- Behaviour ---
  void setAcceptedTokens(std::set<std::string> tokens);
  // Files of at least this many bytes go multipart with `partSize`; default 8 MiB and 5 MiB.
  void setMultipartThreshold(std::int64_t bytes);
  void setPartSize(std::optional<std::int64_t> partSize);
  void setPlanMutation(PlanMutation mutation);
  // Headers returned with every single-upload signature; default {"Content-Type": the file's mime}.
  void setSignedHeaders(std::optional<std::map<std::string, std::string>> headers);
  // Rewrites every signed storage URL before it is handed out (hostile instructions).
  void setStorageURLRewrite(std::function<std::string(const std::string& url)> rewrite);
  // Storage answers part PUTs without an ETag.
  void setStorageOmitsETag(bool omits);
  // Resume state says resumable: false.
  void setResumable(bool resumable);
  // The resume state reports every file of this reference as "expired".
  void setExpired(const std::string& referenceId);
  // The recent-transfers list, as raw JSON text of the whole answer.
  void setRecentTransfersBody(std::string body);

  // --- Faults ---
  // A transport fault or bare status on the `requestNumber`-th request to `endpoint` counted from
  // this call (0: every one).
  void addFault(Endpoint endpoint, std::size_t requestNumber, Fault fault);
  // A whole scripted answer (status, body) for the `requestNumber`-th request to `endpoint` that
  // reaches its handling (counted from the start, leaving out requests taken by a transport fault or
  // refused for their token), instead of its normal handling.
  void respond(Endpoint endpoint, std::size_t requestNumber, Response response);
  // Storage answers with `status` every `period`-th PUT (counting all PUTs), after receiving the body.
  void failEveryNthStoragePut(std::size_t period, int status);

  // A signed URL for storing an object under `key` outside any transfer (a one-shot signature).
  platform::Url presignedObjectURL(const std::string& key);
  std::optional<StoredPart> storedObject(const std::string& key) const;

  // --- What happened ---
  std::vector<StoredTransfer> transfers() const;
  std::optional<StoredTransfer> transfer(const std::string& transferId) const;
  std::size_t requestCount(Endpoint endpoint) const;
  // The most sign requests (single or parts) of the transfer that were open at one moment, each
  // from its arrival at the service (its body read, its token accepted) to its answer: above 1 when
  // a client had several files or parts being signed at once.
  std::size_t mostConcurrentSigns(const std::string& transferId) const;
  // Sign requests wait, before they are handled, until `count` sign requests of their transfer have
  // been open at once (after that they pass at once), or `timeout` has passed: an overlap that a
  // client allows then happens for certain, however the threads are scheduled. 0 lets them pass.
  void holdSignsUntilConcurrent(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
  std::vector<RecordedRequest> requests(Endpoint endpoint) const;
  // Whether storage holds exactly the bytes of `local` for the file (completed or not): the whole
  // object, or every part of the plan's layout.
  bool storageHolds(const std::string& transferId, const std::string& referenceId,
                    const std::filesystem::path& local) const;

 private:
  struct State;
  void addRoutes();
  void addDownloadRoutes();
  void addTransferPageRoutes();
  std::unique_ptr<HttpsServer> ownService_;
  std::unique_ptr<HttpsServer> ownStorage_;
  HttpsServer* service_ = nullptr;
  HttpsServer* storage_ = nullptr;
  std::unique_ptr<State> state_;
};

// A page of the web application: `content` (HTML, its data already escaped) under `title` (text).
Response htmlPage(int status, const std::string& title, const std::string& content);

}  // namespace tavrel::localservice
