#include "service/native_upload_engine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <system_error>
#include <thread>

#include "platform/logger.h"
#include "platform/memory.h"
#include "platform/posix_files.h"
#include "platform/translatable_text.h"
#include "service/authorized_request.h"
#include "service/changed_file_error.h"
#include "service/direct_upload_error.h"
#include "service/request_window.h"

namespace tavrel {
namespace {

const platform::Logger logger{"com.tavrel.desktop", "NativeUploadEngine"};

constexpr int singleUploadRetries = 5;
constexpr int partRetries = 10;
constexpr int serviceCallRetries = 10;
constexpr auto storageIdleTimeout = std::chrono::seconds(60);
// The longest a Retry-After is waited out: a wrong one must not hold a transfer for hours.
constexpr auto longestAskedWait = std::chrono::seconds(300);

const std::string notResumableMessage =
    TAVREL_TRANSLATE_NOOP("Core", "This upload can no longer be resumed.");

std::string transportErrorDescription(const platform::TransportError& error) {
  switch (error.code) {
    case platform::TransportErrorCode::timedOut:
      return TAVREL_TRANSLATE_NOOP("Core", "The request timed out.");
    case platform::TransportErrorCode::cannotConnect:
      return TAVREL_TRANSLATE_NOOP("Core", "Could not connect to the storage server.");
    case platform::TransportErrorCode::connectionLost:
    case platform::TransportErrorCode::networkChanged:
      return TAVREL_TRANSLATE_NOOP("Core", "The network connection was lost.");
    case platform::TransportErrorCode::tlsFailure:
      return TAVREL_TRANSLATE_NOOP("Core", "A secure connection to the storage server failed.");
    case platform::TransportErrorCode::fileUnreadable:
      return TAVREL_TRANSLATE_NOOP("Core", "The file could not be read.");
    default:
      return TAVREL_TRANSLATE_NOOP("Core", "The upload to storage failed.");
  }
}

// A header line is name ": " value CRLF; a CR or LF inside either would end it early and let the
// rest pose as a header of its own.
bool isSafeHeaderText(std::string_view text) {
  return std::none_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

bool isValidHeaderName(std::string_view name) {
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return c > 0x20 && c < 0x7f && c != ':' && c != '(' && c != ')' && c != ',' && c != ';' && c != '"' &&
           c != '/' && c != '[' && c != ']' && c != '?' && c != '=' && c != '{' && c != '}' && c != '\\' &&
           c != '<' && c != '>' && c != '@';
  });
}

UploadError uploadErrorFor(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const TransferAPIError& apiError) {
    return {apiError.errorDescription()};
  } catch (const AccessTokenUnavailable& tokenError) {
    return {tokenError.what()};
  } catch (UploadPolicyViolation violation) {
    return {errorDescription(violation)};
  } catch (const DirectUploadError& uploadError) {
    return {uploadError.errorDescription()};
  } catch (const ChangedFileError& changed) {
    return {changed.errorDescription()};
  } catch (const platform::TransportError& transportError) {
    return {transportErrorDescription(transportError)};
  } catch (const std::exception& other) {
    return {other.what()};
  } catch (...) {
    return {TAVREL_TRANSLATE_NOOP("Core", "The upload failed.")};
  }
}

// Causes that a resume cannot get past: the service lost the transfer or refuses to resume it, or
// a file no longer is what was prepared.
bool blocksResume(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const TransferAPIError& apiError) {
    const auto* rejected = std::get_if<TransferAPIError::Rejected>(&apiError.errorCase());
    return rejected && (rejected->status == 404 || rejected->status == 410 ||
                        rejected->code == "upload_not_resumable" || rejected->code == "upload_expired");
  } catch (const ChangedFileError&) {
    return true;
  } catch (...) {
    return false;
  }
}

bool isSuccess(int status) { return status >= 200 && status <= 299; }

// What std::filesystem::path::filename() gives for a file's absolute path, without splitting it.
std::string_view lastPathComponent(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The storage host's answer to one attempt, which must be a 2xx; a failed attempt leaves the progress
// count before its failure is thrown, and a stopped one ends as cancelled.
const platform::HttpResponse& acceptedStorageAnswer(
    const platform::Expected<platform::HttpResponse, platform::TransportError>& response,
    UploadProgressReporter& reporter, const platform::Uuid& attempt) {
  if (!response) {
    reporter.dropAttempt(attempt);
    if (response.error().code == platform::TransportErrorCode::cancelled) throw Cancelled{};
    throw response.error();
  }
  if (!isSuccess(response->status)) {
    reporter.dropAttempt(attempt);
    auto error = DirectUploadError::http(response->status);
    error.retryAfter = retryAfterOf(*response);
    throw error;
  }
  return *response;
}

// What a refused call said about the service's load: whether it was too busy (429, 503), and how
// long it asked us to wait, if it did.
struct BusyAnswer {
  bool busy = false;
  std::optional<std::chrono::seconds> retryAfter;
};

bool cutByNetworkChange(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const TransferAPIError& apiError) {
    return apiError.cutByNetworkChange();
  } catch (const platform::TransportError& transportError) {
    return transportError.code == platform::TransportErrorCode::networkChanged;
  } catch (...) {
    return false;
  }
}

BusyAnswer busyAnswerOf(const std::exception_ptr& error) {
  const auto isBusy = [](std::int64_t status) { return status == 429 || status == 503; };
  try {
    std::rethrow_exception(error);
  } catch (const TransferAPIError& apiError) {
    const auto* rejected = std::get_if<TransferAPIError::Rejected>(&apiError.errorCase());
    return {rejected && isBusy(rejected->status), apiError.retryAfter()};
  } catch (const DirectUploadError& uploadError) {
    return {uploadError.kind == DirectUploadError::Kind::http && isBusy(uploadError.status), uploadError.retryAfter};
  } catch (...) {
    return {};
  }
}

// The service's own calls, counted apart from every storage server's.
const std::string serviceOrigin;

std::string originOf(const platform::Url& url) {
  const auto origin = url.origin();
  return origin.scheme + "://" + origin.host + ":" + (origin.port ? std::to_string(*origin.port) : std::string());
}

}  // namespace

// One window of requests for each server a run talks to, made as the run first reaches it.
class NativeUploadEngine::OriginWindows {
 public:
  explicit OriginWindows(std::size_t limit) : limit_(limit) {}
  RequestWindow& of(const std::string& origin) {
    std::lock_guard lock(mutex_);
    auto& window = windows_[origin];
    if (!window) window = std::make_unique<RequestWindow>(limit_);
    return *window;
  }

 private:
  const std::size_t limit_;
  std::mutex mutex_;
  std::map<std::string, std::unique_ptr<RequestWindow>> windows_;
};

// One upload or resume, from its start on the worker to its completion.
struct NativeUploadEngine::Run {
  UploadEngineInput input;
  std::stop_token stop;
  EventHandler onEvent;
  std::shared_ptr<UploadProgressReporter> reporter;
  // While files are in flight: the run's requests at once to each server, the parts held in memory
  // at once, and what a busy answer does to the number of files at once.
  OriginWindows* requests = nullptr;
  RequestWindow* partBuffers = nullptr;
  std::function<void()> onBusy;
};

template <typename Call>
auto NativeUploadEngine::throughWindow(Run& run, const std::string& origin, std::stop_token stop, Call&& call)
    -> decltype(call()) {
  const WindowPlace place(run.requests ? &run.requests->of(origin) : nullptr, stop);
  return call();
}

NativeUploadEngine::NativeUploadEngine(std::shared_ptr<TransferAPI> api, std::shared_ptr<TransferClock> clock,
                                       std::shared_ptr<platform::HttpTransport> session, UploadSecurityPolicy policy,
                                       platform::MainQueue& mainQueue)
    : api_(std::move(api)),
      clock_(std::move(clock)),
      session_(std::move(session)),
      policy_(std::move(policy)),
      mainQueue_(mainQueue),
      random_(std::random_device{}()) {}

NativeUploadEngine::~NativeUploadEngine() { lifetime_.request_stop(); }

void NativeUploadEngine::upload(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                                Completion onFinished) {
  start(false, std::move(input), std::move(stop), std::move(onEvent), std::move(onFinished));
}

void NativeUploadEngine::resume(UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                                Completion onFinished) {
  start(true, std::move(input), std::move(stop), std::move(onEvent), std::move(onFinished));
}

void NativeUploadEngine::start(bool resuming, UploadEngineInput input, std::stop_token stop, EventHandler onEvent,
                               Completion onFinished) {
  auto lifetime = lifetime_.get_token();
  worker_.submit([this, resuming, lifetime, stop = std::move(stop), input = std::move(input),
                  onEvent = std::move(onEvent), onFinished = std::move(onFinished)]() mutable {
    std::stop_source combined;
    std::stop_callback byCaller(stop, [&] { combined.request_stop(); });
    std::stop_callback byOwner(lifetime, [&] { combined.request_stop(); });

    Run run{std::move(input), combined.get_token(), std::move(onEvent), nullptr, nullptr, nullptr, {}};
    UploadOutcome outcome = upload_outcome::Finished{};
    try {
      if (resuming) {
        runResume(run);
      } else {
        runUpload(run);
      }
    } catch (const Cancelled&) {
      outcome = Cancelled{};
    } catch (...) {
      // Whatever a stopped run trips over on its way out is the stop, not a failure.
      if (run.stop.stop_requested()) {
        outcome = Cancelled{};
      } else {
        auto error = uploadErrorFor(std::current_exception());
        error.resumable = !blocksResume(std::current_exception());
        logger.error("Upload failed: {}", error.localizedDescription);
        outcome = upload_outcome::Failed{std::move(error)};
      }
    }
    if (run.reporter) run.reporter->close();
    if (lifetime.stop_requested()) return;
    mainQueue_.post([lifetime, onFinished = std::move(onFinished), outcome = std::move(outcome)]() mutable {
      if (onFinished && !lifetime.stop_requested()) onFinished(std::move(outcome));
    });
  });
}

void NativeUploadEngine::discard(std::function<void()> onDiscarded) {
  auto lifetime = lifetime_.get_token();
  worker_.submit([this, lifetime, onDiscarded = std::move(onDiscarded)]() mutable {
    std::shared_ptr<const UploadContext> context;
    {
      std::lock_guard lock(mutex_);
      context = std::exchange(context_, nullptr);
    }
    if (context) deleteQuietly(context->transferID);
    if (lifetime.stop_requested()) return;
    mainQueue_.post([lifetime, onDiscarded = std::move(onDiscarded)] {
      if (onDiscarded && !lifetime.stop_requested()) onDiscarded();
    });
  });
}

void NativeUploadEngine::runUpload(Run& run) {
  const PreparedTransfer& transfer = run.input.preparedTransfer;
  const TransferDefaults& defaults = transfer.defaults;

  CreateRemoteTransferRequest request;
  request.title = transfer.title;
  request.expectedFiles = static_cast<std::int64_t>(transfer.files.size());
  request.totalExpectedBytes = transfer.totalBytes();
  for (const auto& file : transfer.files) request.fileSizes.push_back(file.size);
  request.expiryDays = defaults.expiryDays;
  request.region = std::string(rawValue(defaults.region));
  request.oneTimeDownload = defaults.oneTimeDownload;
  request.isReviewEnabled = defaults.isReviewEnabled;
  if (defaults.isReviewEnabled) request.reviewAccessType = defaults.reviewAccessType;
  request.filePreviewEnabled = defaults.isReviewEnabled ? true : defaults.filePreviewEnabled;

  const RemoteTransferSession session = api_->createTransfer(request, run.stop);

  std::vector<RemoteFileRegistration> registrations;
  registrations.reserve(transfer.files.size());
  for (const auto& file : transfer.files) {
    registrations.push_back({file.referenceID, platform::lossyUTF8(lastPathComponent(file.sourceURL)),
                             file.relativePath, file.mimeType, file.size});
  }
  RemoteFilePlanResponse answer;
  try {
    answer = api_->registerFiles(session.transferId, std::move(registrations), run.stop);
  } catch (...) {
    deleteQuietly(session.transferId);
    throw;
  }

  // Exactly one plan per registered file: a plan for a file we did not register, or two for one,
  // would upload bytes under the wrong name or leave a file without its data.
  auto plans = plansInFileOrder(transfer.files, std::move(answer.plans));
  if (!plans) {
    deleteQuietly(session.transferId);
    throw TransferAPIError::invalidResponse();
  }

  auto context = std::make_shared<UploadContext>(UploadContext{transfer, session.transferId, std::move(*plans), 0});
  // The registrations, the body and the answer, each as long as the file list, are gone.
  platform::releaseFreedMemory();
  {
    std::lock_guard lock(mutex_);
    context->generation = nextGeneration_++;
    context_ = context;
  }
  uploadFiles(run, *context, std::nullopt);
}

void NativeUploadEngine::runResume(Run& run) {
  auto context = currentContext();
  if (!context) return runUpload(run);
  if (context->preparedTransfer != run.input.preparedTransfer) {
    // What we hold belongs to another transfer: completing it would hand the user the wrong link.
    clearContext(context->generation);
    deleteQuietly(context->transferID);
    return runUpload(run);
  }

  const auto state =
      withRetry(run, serviceCallRetries, run.stop, [&] { return api_->resumeState(context->transferID, run.stop); });
  if (!state.resumable) throw TransferAPIError::rejected(409, "upload_not_resumable", notResumableMessage);
  uploadFiles(run, *context, state);
}

void NativeUploadEngine::uploadFiles(Run& run, const UploadContext& context,
                                     const std::optional<RemoteTransferResumeState>& resumeState) {
  const PreparedTransfer& transfer = context.preparedTransfer;

  std::map<std::string, const RemoteFileResumeState*> entries;
  if (resumeState) {
    for (const auto& entry : resumeState->files) {
      if (!entry.localFileId) continue;
      if (!entries.emplace(*entry.localFileId, &entry).second) throw TransferAPIError::invalidResponse();
    }
    // What storage already holds is kept only while its file is still what was sent: an edited,
    // replaced or deleted file would leave the old bytes behind the link.
    for (const TransferFile& file : transfer.files) {
      const auto found = entries.find(file.referenceID);
      if (found == entries.end() || !file.identity) continue;
      const RemoteFileResumeState& entry = *found->second;
      const bool holdsBytes = entry.status == "completed" || entry.status == "ready_to_complete" ||
                              (entry.completedParts && !entry.completedParts->empty());
      if (holdsBytes && !platform::isUnchangedPath(file.sourceURL, *file.identity)) {
        throw ChangedFileError{file.relativePath};
      }
    }
  }

  run.reporter = UploadProgressReporter::make(
      transfer, resumeState ? resumeState->bytesUploaded : 0, mainQueue_, mainQueue_.clock(),
      [lifetime = lifetime_.get_token(), onEvent = run.onEvent](const UploadProgressSnapshot& snapshot) {
        // Nothing reaches the caller once the engine is gone.
        if (onEvent && !lifetime.stop_requested()) onEvent(upload_event::Progress{snapshot});
      });
  run.reporter->emit();

  // Several files move at once, each in the same steps as alone; a failure of one stops the rest.
  RequestWindow files(filesInFlight);
  OriginWindows requests(requestsInFlight);
  RequestWindow partBuffers(partsInFlight);
  run.requests = &requests;
  run.partBuffers = &partBuffers;
  run.onBusy = [&files] { files.shrink(); };

  std::stop_source filesStop;
  std::stop_callback byRun(run.stop, [&] { filesStop.request_stop(); });
  std::mutex mutex;  // guards the fields below
  std::size_t next = 0;
  std::set<std::size_t> inFlight;
  std::optional<std::size_t> reportedFile;
  std::exception_ptr firstError;

  const auto fail = [&](std::exception_ptr error) {
    {
      std::lock_guard lock(mutex);
      if (!firstError) firstError = std::move(error);
    }
    filesStop.request_stop();
  };
  // The current file is the lowest one in flight: it only ever moves on.
  const auto reportCurrentLocked = [&] {
    if (inFlight.empty()) return;
    const std::size_t lowest = *inFlight.begin();
    if (reportedFile && lowest <= *reportedFile) return;
    reportedFile = lowest;
    run.reporter->setCurrentFileIndex(static_cast<int>(lowest));
  };
  // The next file to send, in file order, or none once every file has started or the run ends.
  const auto take = [&]() -> std::optional<std::size_t> {
    std::lock_guard lock(mutex);
    while (next < transfer.files.size() && !filesStop.stop_requested()) {
      const std::size_t index = next++;
      const TransferFile& file = transfer.files[index];
      // The context holds the plans in file order (plansInFileOrder).
      if (index >= context.plans.size() || context.plans[index].referenceId != file.referenceID) {
        firstError = firstError ? firstError : std::make_exception_ptr(TransferAPIError::invalidResponse());
        filesStop.request_stop();
        return std::nullopt;
      }
      const auto found = entries.find(file.referenceID);
      const std::string_view status = found == entries.end() ? std::string_view() : found->second->status;
      if (status == "expired") {
        firstError = firstError ? firstError
                                : std::make_exception_ptr(
                                      TransferAPIError::rejected(409, "upload_expired", notResumableMessage));
        filesStop.request_stop();
        return std::nullopt;
      }
      if (status == "completed") continue;
      inFlight.insert(index);
      reportCurrentLocked();
      return index;
    }
    return std::nullopt;
  };
  const auto lane = [&] {
    const auto stop = filesStop.get_token();
    while (files.enter(stop)) {
      const auto index = take();
      if (!index) {
        files.leave();
        return;
      }
      const auto found = entries.find(transfer.files[*index].referenceID);
      try {
        sendFile(run, context.transferID, context.plans[*index], transfer.files[*index],
                 found == entries.end() ? nullptr : found->second, stop);
        files.leave();
        files.grow();
      } catch (...) {
        files.leave();
        // A file stopped because another failed (or the user cancelled) is not a failure of its own.
        if (!filesStop.stop_requested()) fail(std::current_exception());
      }
      std::lock_guard lock(mutex);
      inFlight.erase(*index);
      reportCurrentLocked();
    }
  };
  {
    std::vector<std::jthread> lanes;
    const std::size_t count = std::min(filesInFlight, transfer.files.size());
    for (std::size_t extra = 1; extra < count; ++extra) lanes.emplace_back(lane);
    lane();
  }
  run.onBusy = nullptr;
  run.requests = nullptr;
  run.partBuffers = nullptr;
  if (run.stop.stop_requested()) throw Cancelled{};
  if (firstError) std::rethrow_exception(firstError);

  const auto completion = withRetry(run, serviceCallRetries, run.stop,
                                    [&] { return api_->completeTransfer(context.transferID, run.stop); });
  if (!completion.completed) throw TransferAPIError::invalidResponse();

  run.reporter->markAllFilesCommitted();
  run.reporter->close();
  clearContext(context.generation);

  // The service has completed the transfer: that is reported even when a stop arrives now.
  CompletedTransfer completed{transfer, completion.id, completion.slug, completion.recentTransfer};
  mainQueue_.post([lifetime = lifetime_.get_token(), onEvent = run.onEvent, completed = std::move(completed)] {
    if (onEvent && !lifetime.stop_requested()) onEvent(upload_event::Completed{completed});
  });
}

void NativeUploadEngine::sendFile(Run& run, const std::string& transferID, const RemoteFilePlan& plan,
                                  const TransferFile& file, const RemoteFileResumeState* entry, std::stop_token stop) {
  const std::string_view status = entry ? std::string_view(entry->status) : std::string_view();
  std::vector<CompletedUploadPart> parts;
  if (status == "ready_to_complete") {
    // Storage holds every byte; the service only needs to be told.
  } else if (plan.strategy == RemoteUploadStrategy::single) {
    withRetry(run, singleUploadRetries, stop, [&] {
      uploadSingle(run, transferID, plan, file, stop);
      return platform::Unit{};
    });
  } else {
    auto held = entry && entry->completedParts ? *entry->completedParts : std::vector<CompletedUploadPart>{};
    parts = uploadMultipart(run, plan, file, transferID, std::move(held), stop);
    std::stable_sort(parts.begin(), parts.end(),
                     [](const auto& a, const auto& b) { return a.partNumber < b.partNumber; });
  }
  withRetry(run, serviceCallRetries, stop, [&] {
    return throughWindow(run, serviceOrigin, stop,
                         [&] { return api_->completeFile(transferID, plan.fileId, parts, stop); });
  });
}

void NativeUploadEngine::uploadSingle(Run& run, const std::string& transferID, const RemoteFilePlan& plan,
                                      const TransferFile& file, std::stop_token stop) {
  const SignedSingleUpload signedUpload =
      throughWindow(run, serviceOrigin, stop, [&] { return api_->signSingleUpload(transferID, plan.fileId, stop); });
  auto url = policy_.validateStorageURL(signedUpload.url);
  if (!url) throw url.error();

  platform::HttpRequest request;
  request.method = "PUT";
  request.url = std::move(url).value();
  request.idleTimeout = storageIdleTimeout;
  for (const auto& [name, value] : signedUpload.headers) {
    if (!UploadSecurityPolicy::allowsSignedHeader(name)) continue;
    if (!isValidHeaderName(name) || !isSafeHeaderText(value)) {
      throw UploadPolicyViolation::insecureStorageDestination;
    }
    request.headers.push_back({name, value});
  }
  request.body = platform::FileRange{file.sourceURL, 0, static_cast<std::uint64_t>(file.size), file.identity};

  const auto attempt = platform::Uuid::generate();
  auto reporter = run.reporter;
  auto response = throughWindow(run, originOf(request.url), stop, [&] {
    return session_->send(request, stop, [reporter, attempt](std::uint64_t sent, std::uint64_t) {
      reporter->recordProgress(attempt, static_cast<std::int64_t>(sent));
    });
  });
  if (!response && response.error().code == platform::TransportErrorCode::fileChanged) {
    reporter->dropAttempt(attempt);
    throw ChangedFileError{file.relativePath};
  }
  acceptedStorageAnswer(response, *reporter, attempt);
  reporter->commit(attempt, file.size);
}

std::vector<CompletedUploadPart> NativeUploadEngine::uploadMultipart(Run& run, const RemoteFilePlan& plan,
                                                                     const TransferFile& file,
                                                                     const std::string& transferID,
                                                                     std::vector<CompletedUploadPart> heldParts,
                                                                     std::stop_token stop) {
  const auto count = policy_.partCount(plan.partSize, file.size);
  if (!count) throw count.error();

  std::set<std::int64_t> held;
  for (const auto& part : heldParts) held.insert(part.partNumber);
  std::vector<std::int64_t> pending;
  for (std::int64_t number = 1; number <= count.value(); ++number) {
    if (!held.contains(number)) pending.push_back(number);
  }

  std::vector<CompletedUploadPart> result = std::move(heldParts);
  if (pending.empty()) return result;

  // A window of two, not batches: the next part starts as soon as either one is done, so its
  // signing overlaps its partner's PUT. A failed part stops its partner; the caller's stop reaches both.
  std::stop_source fileStop;
  std::stop_callback byCaller(stop, [&] { fileStop.request_stop(); });
  std::mutex mutex;  // guards nextPart, result and firstError
  std::size_t nextPart = 0;
  std::exception_ptr firstError;
  const auto lane = [&] {
    for (;;) {
      std::int64_t number = 0;
      {
        std::lock_guard lock(mutex);
        if (firstError || nextPart >= pending.size()) return;
        number = pending[nextPart++];
      }
      try {
        auto part = uploadPartWithRetry(run, number, plan, file, transferID, *plan.partSize, fileStop.get_token());
        std::lock_guard lock(mutex);
        result.push_back(std::move(part));
      } catch (...) {
        {
          std::lock_guard lock(mutex);
          if (!firstError) firstError = std::current_exception();
        }
        fileStop.request_stop();
        return;
      }
    }
  };
  {
    std::optional<std::jthread> partner;
    if (pending.size() > 1) partner.emplace(lane);
    lane();
  }
  if (stop.stop_requested()) throw Cancelled{};
  if (firstError) std::rethrow_exception(firstError);
  return result;
}

CompletedUploadPart NativeUploadEngine::uploadPartWithRetry(Run& run, std::int64_t number, const RemoteFilePlan& plan,
                                                            const TransferFile& file, const std::string& transferID,
                                                            std::int64_t partSize, std::stop_token stop) {
  const std::int64_t offset = (number - 1) * partSize;
  const std::int64_t length = std::min(file.size - offset, partSize);
  // Every file of the run shares the part buffers: however many files are in flight, no more parts'
  // bytes are held than one file alone would hold.
  const WindowPlace buffer(run.partBuffers, stop);
  // Read once: every retry sends the same bytes, however the file changes meanwhile.
  std::string bytes = readPart(file, offset, length);
  return withRetry(run, partRetries, stop, [&] { return uploadPart(run, number, bytes, plan, transferID, stop); });
}

CompletedUploadPart NativeUploadEngine::uploadPart(Run& run, std::int64_t number, std::string& bytes,
                                                   const RemoteFilePlan& plan, const std::string& transferID,
                                                   std::stop_token stop) {
  const SignedMultipartUpload signedParts =
      throughWindow(run, serviceOrigin, stop, [&] { return api_->signParts(transferID, plan.fileId, {number}, stop); });
  const auto signedPart = std::find_if(signedParts.urls.begin(), signedParts.urls.end(),
                                       [&](const SignedUploadPart& part) { return part.partNumber == number; });
  if (signedPart == signedParts.urls.end()) throw TransferAPIError::invalidResponse();
  auto url = policy_.validateStorageURL(signedPart->url);
  if (!url) throw url.error();

  platform::HttpRequest request;
  request.method = "PUT";
  request.url = std::move(url).value();
  request.idleTimeout = storageIdleTimeout;
  const auto length = static_cast<std::int64_t>(bytes.size());
  // The part's bytes move into the request and back, so a part is held in memory once.
  request.body = std::move(bytes);

  const auto attempt = platform::Uuid::generate();
  auto reporter = run.reporter;
  auto response = throughWindow(run, originOf(request.url), stop, [&] {
    return session_->send(request, stop, [reporter, attempt](std::uint64_t sent, std::uint64_t) {
      reporter->recordProgress(attempt, static_cast<std::int64_t>(sent));
    });
  });
  bytes = std::move(std::get<std::string>(request.body));

  auto etag = acceptedStorageAnswer(response, *reporter, attempt).header("ETag");
  if (etag) etag->erase(std::remove(etag->begin(), etag->end(), '"'), etag->end());
  // `ETag: ""` names no part either: completing with it would fail only after every other part.
  if (!etag || etag->empty()) {
    reporter->dropAttempt(attempt);
    throw DirectUploadError::missingETag();
  }
  reporter->commit(attempt, length);
  return {number, *etag};
}

std::string NativeUploadEngine::readPart(const TransferFile& file, std::int64_t offset, std::int64_t length) {
  const int descriptor = platform::openUnchangedFile(file.sourceURL, file.identity);
  if (descriptor < 0) {
    if (errno == ELOOP || errno == ESTALE) throw ChangedFileError{file.relativePath};
    throw std::system_error(errno, std::generic_category(), "Cannot open the file to upload");
  }
  std::string bytes(static_cast<std::size_t>(std::max<std::int64_t>(length, 0)), '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const auto count = ::pread(descriptor, bytes.data() + filled, bytes.size() - filled,
                               static_cast<off_t>(offset + static_cast<std::int64_t>(filled)));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const int error = errno;
      ::close(descriptor);
      throw std::system_error(error, std::generic_category(), "Cannot read the file to upload");
    }
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  // Checked again once read: an edit during the read leaves bytes of both versions in the part.
  const bool changed = file.identity && !platform::isUnchangedFile(descriptor, *file.identity);
  ::close(descriptor);
  if (changed) throw ChangedFileError{file.relativePath};
  if (filled != bytes.size()) throw DirectUploadError::cannotRead();
  return bytes;
}

template <typename Operation>
auto NativeUploadEngine::withRetry(Run& run, int retries, std::stop_token stop, Operation&& operation)
    -> decltype(operation()) {
  for (int retry = 0;; ++retry) {
    std::optional<std::chrono::seconds> askedWait;
    try {
      return operation();
    } catch (const Cancelled&) {
      throw;
    } catch (...) {
      if (stop.stop_requested()) throw Cancelled{};
      const auto error = std::current_exception();
      if (!isRetryable(error) || retry >= retries) throw;
      const auto answer = busyAnswerOf(error);
      // A service that says it is busy gets fewer files at once until calls succeed again.
      if (answer.busy && run.onBusy) run.onBusy();
      askedWait = answer.retryAfter;
      // Cut by a move to another network: the new one is there now, so the next try goes at once
      // (it still counts as one).
      if (cutByNetworkChange(error)) continue;
    }
    platform::Duration pause;
    {
      std::lock_guard lock(mutex_);
      pause = retryPause(retry, random_);
    }
    if (askedWait) {
      pause = std::max(pause, std::chrono::duration_cast<platform::Duration>(std::min(*askedWait, longestAskedWait)));
    }
    if (!clock_->sleep(pause, stop)) throw Cancelled{};
  }
}

bool NativeUploadEngine::isRetryable(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const TransferAPIError& apiError) {
    if (apiError.is<TransferAPIError::TransportUnavailable>()) return true;
    if (const auto* rejected = std::get_if<TransferAPIError::Rejected>(&apiError.errorCase())) {
      return rejected->status == 408 || rejected->status == 429 || rejected->status >= 500;
    }
    return false;
  } catch (const DirectUploadError& uploadError) {
    if (uploadError.kind != DirectUploadError::Kind::http) return false;
    const int status = uploadError.status;
    return status == 401 || status == 403 || status == 408 || status == 429 || status >= 500;
  } catch (const platform::TransportError& transportError) {
    // A whole file's body that cannot be read (gone, shortened, no longer readable) is a file-system
    // failure, not a network one: another attempt reads the same file, as a part read would.
    return transportError.code != platform::TransportErrorCode::fileUnreadable &&
           transportError.code != platform::TransportErrorCode::fileChanged;
  } catch (...) {
    return false;
  }
}

platform::Duration NativeUploadEngine::retryPause(int retry, std::mt19937_64& random) {
  using std::chrono::nanoseconds;
  const std::int64_t ceilingSeconds = retry >= 3 ? 40 : std::min<std::int64_t>(5LL << retry, 40);
  const std::int64_t ceiling = std::chrono::duration_cast<nanoseconds>(std::chrono::seconds(ceilingSeconds)).count();
  std::uniform_int_distribution<std::int64_t> pick(ceiling / 2, ceiling);
  return std::chrono::duration_cast<platform::Duration>(nanoseconds(pick(random)));
}

std::optional<std::vector<RemoteFilePlan>> NativeUploadEngine::plansInFileOrder(const TransferFileList& files,
                                                                                std::vector<RemoteFilePlan> plans) {
  if (plans.size() != files.size()) return std::nullopt;
  bool inOrder = true;
  for (std::size_t index = 0; inOrder && index < plans.size(); ++index) {
    inOrder = plans[index].referenceId == files[index].referenceID;
  }
  if (inOrder) return plans;

  std::vector<std::uint32_t> byReference(plans.size());
  for (std::uint32_t index = 0; index < byReference.size(); ++index) byReference[index] = index;
  std::sort(byReference.begin(), byReference.end(),
            [&](std::uint32_t a, std::uint32_t b) { return plans[a].referenceId < plans[b].referenceId; });
  for (std::size_t index = 1; index < byReference.size(); ++index) {
    if (plans[byReference[index - 1]].referenceId == plans[byReference[index]].referenceId) return std::nullopt;
  }
  std::vector<RemoteFilePlan> ordered;
  ordered.reserve(plans.size());
  std::vector<bool> taken(plans.size());
  for (const TransferFile& file : files) {
    const auto found = std::lower_bound(
        byReference.begin(), byReference.end(), file.referenceID,
        [&](std::uint32_t index, const std::string& reference) { return plans[index].referenceId < reference; });
    if (found == byReference.end() || plans[*found].referenceId != file.referenceID || taken[*found]) {
      return std::nullopt;
    }
    taken[*found] = true;
    ordered.push_back(std::move(plans[*found]));
  }
  return ordered;
}

std::shared_ptr<const NativeUploadEngine::UploadContext> NativeUploadEngine::currentContext() {
  std::lock_guard lock(mutex_);
  return context_;
}

void NativeUploadEngine::clearContext(std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (context_ && context_->generation == generation) context_.reset();
}

void NativeUploadEngine::deleteQuietly(const std::string& transferID) {
  // Clean-up runs to its end even when the run that needs it was stopped; only the engine's own
  // end cuts it short.
  api_->deleteTransfer(transferID, lifetime_.get_token());
}

}  // namespace tavrel
