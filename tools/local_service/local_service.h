#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "local_service/certificate_authority.h"
#include "local_service/https_server.h"
#include "local_service/sign_in_service.h"
#include "local_service/transfer_service.h"
#include "platform/url.h"

namespace tavrel::localservice {

// The whole web service on loopback, for running the program without the real service: on one
// address the web application (the sign-in pages and endpoints, the bootstrap, the transfer API,
// the download pages that share links open and the account's pages), on a second, always HTTPS, the
// storage that pre-signed uploads go to.
//
// The web application speaks HTTPS by default, or plain HTTP when asked: a browser then never meets
// the private authority, which only the program trusts (it still does, for storage).
//
// Everything it keeps lives in its data folder: the certificate authority (ca.pem, ca-key.pem),
// the uploaded bytes (storage/) and the accounts and transfers (state.json, rewritten by a thread of
// its own soon after every change and when it stops), so a restart carries on where the last run
// stopped. Each change of the transfers is also appended to state.journal before it is answered,
// so a crash or a kill loses nothing the program was told had been kept (a change the journal
// cannot take, on a full disk say, is taken back and answered 503); the lines state.json holds are
// dropped from the journal each time it is written and synced to disk.
//
// IMPORTANT: Thread-safety. Requests are served on the server's threads; the members here are for
// the one thread that made the service.
class LocalService {
 public:
  struct Options {
    std::filesystem::path dataDirectory;
    std::uint16_t port = 0;  // 0: an ephemeral port
    // For the tests of a long-running program: how long a kept-alive connection may sit idle, and
    // how long a revoke waits before it is answered.
    std::chrono::seconds keepAliveTimeout{5};
    std::chrono::milliseconds revokeDelay{0};
    HttpsServer::Scheme webScheme = HttpsServer::Scheme::https;
    // The largest request body of the transfer endpoints (see TransferService::Options).
    std::uint64_t largestRequestBody = TransferService::Options{}.largestRequestBody;
    // Puts a file's or folder's bytes on disk, given it open (fsync() unless set); for tests that
    // watch it or fail it.
    std::function<bool(int descriptor)> sync = {};
  };

  // Starts serving. Throws std::runtime_error when the data folder cannot be used, its state file
  // cannot be read, or the port cannot be bound.
  explicit LocalService(Options options);
  ~LocalService();
  LocalService(const LocalService&) = delete;
  LocalService& operator=(const LocalService&) = delete;

  // $XDG_DATA_HOME/tavrel-local-service, else ~/.local/share/tavrel-local-service.
  static std::filesystem::path defaultDataDirectory();
  // The authority kept in `dataDirectory`, made (with the folder, for its owner only) when missing.
  static std::shared_ptr<const CertificateAuthority> certificateAuthority(const std::filesystem::path& dataDirectory);

  std::uint16_t port() const { return server_->port(); }
  // "https://127.0.0.1:<port>/" (or http)
  platform::Url webAppURL() const { return server_->url("/"); }
  // "https://127.0.0.1:<its own port>/"
  platform::Url storageURL() const { return storage_->url("/"); }
  const std::filesystem::path& certificateAuthorityFile() const { return authority_->certificateFile(); }
  const std::filesystem::path& dataDirectory() const { return dataDirectory_; }
  std::filesystem::path stateFile() const { return dataDirectory_ / "state.json"; }
  std::filesystem::path journalFile() const { return dataDirectory_ / "state.journal"; }

  SignInService& signIn() { return *signIn_; }
  TransferService& transfers() { return *transfers_; }

  // Stops serving and writes the state a last time; the destructor does it too.
  void stop();

 private:
  void addSettingsRoutes();
  void load();
  void save();
  void markChanged();
  bool appendJournal(std::string_view piece, bool ends);
  bool syncFile(const std::filesystem::path& path) const;
  std::vector<std::string> journalLines() const;
  void cutUnfinishedJournalLine() const;
  void trimJournal(std::uint64_t savedSeq);

  std::filesystem::path dataDirectory_;
  std::shared_ptr<const CertificateAuthority> authority_;
  std::unique_ptr<HttpsServer> server_;
  std::unique_ptr<HttpsServer> storage_;
  std::unique_ptr<SignInService> signIn_;
  std::unique_ptr<TransferService> transfers_;
  std::mutex saving_;
  std::function<bool(int descriptor)> sync_;
  std::mutex journalMutex_;
  int journal_ = -1;
  bool atLineStart_ = true;     // the journal's next piece begins a line
  std::uint64_t lineStart_ = 0;  // else where the line being written began
  std::mutex changedMutex_;
  std::condition_variable_any changedCondition_;
  bool changed_ = false;
  bool stopped_ = false;
  std::jthread saver_;  // last: it stops before what it saves goes away
};

}  // namespace tavrel::localservice
