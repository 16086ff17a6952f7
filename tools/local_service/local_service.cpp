#include "local_service/local_service.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavrel::localservice {
namespace {

constexpr int kStateVersion = 1;

}  // namespace

std::filesystem::path LocalService::defaultDataDirectory() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome && *dataHome == '/') return std::filesystem::path(dataHome) / "tavrel-local-service";
  const char* home = std::getenv("HOME");
  if (!home || *home == '\0') throw std::runtime_error("neither XDG_DATA_HOME nor HOME is set; pass --data-dir");
  return std::filesystem::path(home) / ".local" / "share" / "tavrel-local-service";
}

std::shared_ptr<const CertificateAuthority> LocalService::certificateAuthority(const std::filesystem::path& dataDirectory) {
  // It holds the accounts' tokens, the authority's key and the uploads: the owner's alone.
  if (std::filesystem::create_directories(dataDirectory)) {
    std::filesystem::permissions(dataDirectory, std::filesystem::perms::owner_all);
  }
  return CertificateAuthority::loadOrCreate(dataDirectory);
}

LocalService::LocalService(Options options)
    : dataDirectory_(std::move(options.dataDirectory)), sync_(std::move(options.sync)) {
  if (!sync_) sync_ = [](int descriptor) { return ::fsync(descriptor) == 0; };
  authority_ = certificateAuthority(dataDirectory_);
  HttpsServer::Options serverOptions;
  serverOptions.scheme = options.webScheme;
  serverOptions.authority = authority_;
  serverOptions.port = options.port;
  serverOptions.recordsRequests = false;
  server_ = std::make_unique<HttpsServer>(serverOptions);
  server_->setKeepAliveTimeout(options.keepAliveTimeout);
  // The program refuses plain-http storage whatever the web application speaks.
  serverOptions.scheme = HttpsServer::Scheme::https;
  serverOptions.port = 0;
  storage_ = std::make_unique<HttpsServer>(serverOptions);

  SignInService::Options signInOptions;
  signInOptions.asksUser = true;
  signIn_ = std::make_unique<SignInService>(*server_, signInOptions);
  signIn_->setRevokeDelay(options.revokeDelay);

  TransferService::Options transferOptions;
  transferOptions.storageDirectory = dataDirectory_ / "storage";
  transferOptions.listsCompletedTransfers = true;
  transferOptions.largestRequestBody = options.largestRequestBody;
  SignInService* signIn = signIn_.get();
  transferOptions.acceptsToken = [signIn](const std::string& token) { return signIn->isAccessTokenValid(token); };
  transfers_ = std::make_unique<TransferService>(*server_, *storage_, std::move(transferOptions));

  server_->route("GET", "/", [](const RecordedRequest&) {
    Response page;
    page.contentType = "text/html; charset=utf-8";
    page.body =
        "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Tavrel local service</title></head>\n"
        "<body><h1>Tavrel local service</h1><p>A stand-in for the Tavrel web service, for running Tavrel for "
        "desktop on this computer. Share links of transfers sent to it open here.</p>\n"
        "<ul><li><a href=\"/transfers\">Transfers</a></li><li><a href=\"/settings/transfer\">Transfer "
        "settings</a></li><li><a href=\"/settings/profile\">Profile</a></li></ul></body></html>\n";
    return page;
  });

  addSettingsRoutes();

  try {
    load();
  } catch (...) {
    server_->stop();
    storage_->stop();
    throw;
  }
  cutUnfinishedJournalLine();
  journal_ = ::open(journalFile().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (journal_ < 0) {
    const int error = errno;
    server_->stop();
    storage_->stop();
    throw std::runtime_error("cannot write " + journalFile().string() + " (" + std::strerror(error) + ")");
  }
  transfers_->setJournal([this](std::string_view piece, bool ends) { return appendJournal(piece, ends); });
  signIn_->setChangeObserver([this] { markChanged(); });
  transfers_->setChangeObserver([this] { markChanged(); });
  saver_ = std::jthread([this](std::stop_token stop) {
    // Changes come in bursts (an upload changes the state with every request): one write once the
    // burst has paused, or a second into a long one, instead of a rewrite of everything per request.
    constexpr auto quiet = std::chrono::milliseconds(100);
    // A large state takes a while to write: the writes are spaced so that they take at most a tenth
    // of the time, however large it grows.
    auto longest = std::chrono::steady_clock::duration(std::chrono::seconds(1));
    std::unique_lock lock(changedMutex_);
    while (changedCondition_.wait(lock, stop, [this] { return changed_; })) {
      const auto burstStarted = std::chrono::steady_clock::now();
      do {
        changed_ = false;
        const auto deadline = std::min(std::chrono::steady_clock::now() + quiet, burstStarted + longest);
        if (!changedCondition_.wait_until(lock, stop, deadline, [this] { return changed_; })) break;
      } while (std::chrono::steady_clock::now() < burstStarted + longest);
      changed_ = false;
      lock.unlock();
      const auto saveStarted = std::chrono::steady_clock::now();
      save();
      longest = std::max<std::chrono::steady_clock::duration>(std::chrono::seconds(1),
                                                              10 * (std::chrono::steady_clock::now() - saveStarted));
      lock.lock();
    }
  });
}

void LocalService::markChanged() {
  {
    std::lock_guard lock(changedMutex_);
    changed_ = true;
  }
  changedCondition_.notify_one();
}

// The account's settings, as the web application shows them; read-only here, since the one account
// and what the service does with transfers are fixed.
void LocalService::addSettingsRoutes() {
  server_->route("GET", "/settings/profile", [](const RecordedRequest&) {
    const auto bootstrap = nlohmann::json::parse(bootstrapJSON());
    const auto& user = bootstrap.at("user");
    const auto& workspace = bootstrap.at("workspace");
    const auto row = [](const std::string& name, const nlohmann::json& value) {
      return "<tr><th>" + escapeHTML(name) + "</th><td>" + escapeHTML(value.get<std::string>()) + "</td></tr>\n";
    };
    return htmlPage(200, "Profile",
                    "<h1>Profile</h1>\n<table>\n" + row("Name", user.at("name")) + row("Email", user.at("email")) +
                        row("Workspace", workspace.at("name")) + row("Role", workspace.at("role")) +
                        "</table>\n<p><small>The local service has this one account; it cannot be changed.</small></p>");
  });
  const std::string storage = storage_->url("/").toString();
  server_->route("GET", "/settings/transfer", [storage](const RecordedRequest&) {
    return htmlPage(200, "Transfer settings",
                    "<h1>Transfer settings</h1>\n<ul>\n<li>Expiry, region and one-time download: as Tavrel asks for "
                    "each transfer.</li>\n<li>Transfers are kept until they are deleted.</li>\n<li>Storage: " +
                        escapeHTML(storage) +
                        " (its certificate is trusted by Tavrel only).</li>\n</ul>\n"
                        "<p><small>The local service's settings cannot be changed.</small></p>");
  });
}

LocalService::~LocalService() { stop(); }

void LocalService::stop() {
  if (stopped_) return;
  stopped_ = true;
  // A held revoke would keep the server's worker, and so its stop, waiting.
  signIn_->setRevokeDelay(std::chrono::milliseconds(0));
  server_->stop();
  storage_->stop();
  if (saver_.joinable()) {
    saver_.request_stop();
    saver_.join();
  }
  save();
  std::lock_guard lock(journalMutex_);
  if (journal_ >= 0) ::close(journal_);
  journal_ = -1;
}

bool LocalService::appendJournal(std::string_view piece, bool ends) {
  std::lock_guard lock(journalMutex_);
  if (journal_ < 0) return false;
  if (atLineStart_) {
    const auto end = ::lseek(journal_, 0, SEEK_END);
    if (end < 0) return false;
    lineStart_ = static_cast<std::uint64_t>(end);
    atLineStart_ = false;
  }
  // A line comes in pieces (that of a big registration is tens of megabytes); until its newline it
  // is not read back, as for a crash mid-write, and that change has not been answered yet.
  for (const std::string_view text : {piece, ends ? std::string_view("\n") : std::string_view()}) {
    std::size_t written = 0;
    while (written < text.size()) {
      const auto count = ::write(journal_, text.data() + written, text.size() - written);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) {
        // The disk is full, say: what reached the file of this line goes, so that the next line
        // starts on a line of its own, and the change is taken back.
        while (::ftruncate(journal_, static_cast<off_t>(lineStart_)) != 0 && errno == EINTR) {
        }
        atLineStart_ = true;
        return false;
      }
      written += static_cast<std::size_t>(count);
    }
  }
  if (ends) atLineStart_ = true;
  return true;
}

// The journal's lines, without a last one cut short by a crash mid-write.
std::vector<std::string> LocalService::journalLines() const {
  std::ifstream file(journalFile(), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line) && !file.eof()) {
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

// A crash mid-write leaves the last line unfinished; the next line appended to it would make both
// unreadable, and with them every start after. Cut back to the end of the last whole line.
void LocalService::cutUnfinishedJournalLine() const {
  std::error_code error;
  const auto size = std::filesystem::file_size(journalFile(), error);
  if (error || size == 0) return;
  std::ifstream file(journalFile(), std::ios::binary);
  constexpr std::uintmax_t kBlock = 64 * 1024;
  std::string block;
  std::uintmax_t end = size;
  while (end > 0) {
    const std::uintmax_t start = end > kBlock ? end - kBlock : 0;
    block.resize(static_cast<std::size_t>(end - start));
    file.seekg(static_cast<std::streamoff>(start));
    if (!file.read(block.data(), static_cast<std::streamsize>(block.size()))) return;
    if (const auto newline = block.rfind('\n'); newline != std::string::npos) {
      end = start + newline + 1;
      break;
    }
    end = start;
  }
  if (end != size) std::filesystem::resize_file(journalFile(), end, error);
}

// Drops the journal's lines that state.json now holds. Read and written a line at a time: the line
// of a big registration may be tens of megabytes.
void LocalService::trimJournal(std::uint64_t savedSeq) {
  std::lock_guard lock(journalMutex_);
  if (journal_ < 0) return;
  const auto temporary = std::filesystem::path(journalFile().string() + ".new");
  std::uint64_t trimmedLineStart = 0;
  {
    std::ifstream journal(journalFile(), std::ios::binary);
    std::ofstream file(temporary, std::ios::trunc | std::ios::binary);
    std::string line;
    std::uint64_t kept = 0;
    while (std::getline(journal, line)) {
      if (journal.eof()) {
        // A line being written (the lock is taken per piece): the rest of it follows here.
        if (!atLineStart_) trimmedLineStart = kept;
        file << line;
        break;
      }
      // Each line begins {"seq":N, so the rest need not be parsed.
      constexpr std::string_view prefix = "{\"seq\":";
      std::uint64_t seq = 0;
      if (line.starts_with(prefix)) {
        std::from_chars(line.data() + prefix.size(), line.data() + line.size(), seq);
      }
      if (seq > savedSeq) {
        file << line << '\n';
        kept += line.size() + 1;
      }
    }
    if (!file.flush()) return;
  }
  std::error_code error;
  std::filesystem::permissions(temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               error);
  // Its lines are on disk before it replaces the journal, or a power cut could leave neither.
  if (!syncFile(temporary)) return;
  std::filesystem::rename(temporary, journalFile(), error);
  if (error) return;
  const int reopened = ::open(journalFile().c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (reopened < 0) return;
  ::close(journal_);
  journal_ = reopened;
  lineStart_ = trimmedLineStart;
}

void LocalService::load() {
  const auto path = stateFile();
  try {
    if (std::filesystem::exists(path)) {
      std::ifstream file(path);
      const auto state = nlohmann::json::parse(file);
      if (state.at("version").get<int>() != kStateVersion) {
        throw std::runtime_error("it was written by another version");
      }
      signIn_->restoreState(state.at("signIn"));
      transfers_->restoreState(state.at("transfers"));
    }
  } catch (const std::exception& error) {
    // Never start over silently: that would forget accounts and transfers still on disk.
    throw std::runtime_error("cannot read " + path.string() + " (" + error.what() +
                             "); it holds the accounts and transfers, and was left as it is");
  }
  try {
    // What was acknowledged after state.json was last written.
    transfers_->replayJournal(journalLines());
  } catch (const std::exception& error) {
    throw std::runtime_error("cannot read the journal " + journalFile().string() + " (" + error.what() +
                             "); it holds the changes to transfers since " + path.filename().string() +
                             " was written, and was left as it is. Moved away, it lets the service start "
                             "with the accounts and transfers as " + path.filename().string() +
                             " has them, without those changes");
  }
}

void LocalService::save() {
  std::lock_guard lock(saving_);
  std::uint64_t journalSeq = 0;
  const auto path = stateFile();
  const auto temporary = std::filesystem::path(path.string() + ".new");
  {
    // Written as it is taken, under the lock, so a later write never holds an older state. The
    // transfers come as pieces of text, never gathered into one string.
    std::ofstream file(temporary, std::ios::trunc);
    file << "{\"signIn\":" << signIn_->savedState().dump() << ",\"transfers\":";
    transfers_->writeSavedState(file, &journalSeq);
    file << ",\"version\":" << kStateVersion << "}\n";
    if (!file.flush()) return;  // the last good file stays; the next change tries again
  }
  std::error_code error;
  // Refresh tokens are in it.
  std::filesystem::permissions(temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               error);
  // The journal is trimmed only once state.json and its name in the folder are on disk: a power cut
  // after the trim must find what the trimmed lines held.
  if (!syncFile(temporary)) return;
  std::filesystem::rename(temporary, path, error);
  if (error || !syncFile(dataDirectory_)) return;
  trimJournal(journalSeq);
}

bool LocalService::syncFile(const std::filesystem::path& path) const {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  const bool synced = sync_(descriptor);
  ::close(descriptor);
  return synced;
}

}  // namespace tavrel::localservice
