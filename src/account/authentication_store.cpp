#include "account/authentication_store.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <mutex>
#include <set>

#include "account/oauth_callback_validator.h"
#include "account/pkce_authorization_request.h"
#include "platform/logger.h"

namespace tavrel {

using Kind = AuthenticationError::Kind;
using namespace authentication_state;

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.desktop", "AuthenticationStore");
  return instance;
}

AuthenticationStore::Failure error(Kind kind) { return AuthenticationError(kind); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

bool grantsEveryScope(const std::string& scope) {
  std::set<std::string> granted;
  std::size_t start = 0;
  while (start <= scope.size()) {
    const auto blank = std::min(scope.find(' ', start), scope.size());
    if (blank > start) granted.insert(scope.substr(start, blank - start));
    start = blank + 1;
  }
  return std::all_of(OAuthConfiguration::scopes().begin(), OAuthConfiguration::scopes().end(),
                     [&](const std::string& required) { return granted.contains(required); });
}

// The service's lifetime is any JSON number; keep it within what the clock can add without
// overflowing (a century is far beyond any token's life; NaN and negatives count as expired).
std::chrono::system_clock::duration seconds(double value) {
  constexpr double longest = 100.0 * 365 * 24 * 60 * 60;
  if (!(value > 0)) value = 0;
  if (value > longest) value = longest;
  return std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(value));
}

}  // namespace

// The secret store behind one serial thread. Serial order is what makes sign-out stick: its deletion
// is queued before anything a later session saves, and a save queued by an earlier session finds the
// epoch moved on and is skipped. Jobs still queued when the store goes away are run, not dropped, so a
// sign-out's deletion always happens.
class AuthenticationStore::Keychain {
 public:
  explicit Keychain(std::shared_ptr<RefreshTokenStoring> store) : store_(std::move(store)) {
    thread_ = std::thread([this] { run(); });
  }
  ~Keychain() {
    {
      std::lock_guard lock(mutex_);
      quitting_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  std::uint64_t epoch() const { return epoch_.load(); }
  // Main thread only.
  std::uint64_t endEpoch() { return ++epoch_; }

  // Queues `job` and returns at once.
  void submit(std::function<void(RefreshTokenStoring&)> job) {
    {
      std::lock_guard lock(mutex_);
      jobs_.push_back(std::move(job));
    }
    wake_.notify_all();
  }

  // Saves `token` in turn, unless by then the epoch has moved on or `stop` was stopped: a session
  // that has ended must not leave a token behind.
  platform::Expected<platform::Unit, Failure> saveIfCurrent(std::uint64_t epoch, std::stop_token stop, std::string token) {
    return save(epoch, std::move(stop), std::move(token), false);
  }

  // Saves `token`, a renewal's answer, in turn unless by then the user has signed out. A stopped
  // renewal (the program quitting) saves it all the same: the service retired the token it replaces,
  // so without it the next start would find the session gone. When `stop` is stopped the save still
  // happens, after this returns (queued jobs run before the store goes away).
  platform::Expected<platform::Unit, Failure> keepUnlessSignedOut(std::uint64_t epoch, std::stop_token stop,
                                                                  std::string token) {
    return save(epoch, std::move(stop), std::move(token), true);
  }

  // The result of a queued job, for one waiter.
  template <typename Result>
  class Pending {
   public:
    // The job's result once it has run; none when `stop` was stopped first.
    std::optional<Result> wait(std::stop_token stop) {
      std::unique_lock lock(mutex_);
      done_.wait(lock, stop, [&] { return result_.has_value(); });
      return std::move(result_);
    }
    void set(Result result) {
      {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
      }
      done_.notify_all();
    }

   private:
    std::mutex mutex_;
    std::condition_variable_any done_;
    std::optional<Result> result_;
  };

  // Queues `job` and returns at once; its result arrives through the returned handle.
  template <typename Result>
  std::shared_ptr<Pending<Result>> request(std::function<Result(RefreshTokenStoring&)> job) {
    auto pending = std::make_shared<Pending<Result>>();
    submit([pending, job = std::move(job)](RefreshTokenStoring& store) { pending->set(job(store)); });
    return pending;
  }

  // Runs `job` in turn and waits for its result; none when `stop` was stopped first.
  template <typename Result>
  std::optional<Result> perform(std::function<Result(RefreshTokenStoring&)> job, std::stop_token stop) {
    return request<Result>(std::move(job))->wait(stop);
  }

 private:
  void run() {
    while (true) {
      std::function<void(RefreshTokenStoring&)> job;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return quitting_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job(*store_);
    }
  }

  platform::Expected<platform::Unit, Failure> save(std::uint64_t epoch, std::stop_token stop,
                                                   std::string token, bool evenWhenStopped) {
    auto saved = perform<platform::Expected<platform::Unit, Failure>>(
        [this, epoch, stop, evenWhenStopped, token = std::move(token)](
            RefreshTokenStoring& store) -> platform::Expected<platform::Unit, Failure> {
          if (epoch_.load() != epoch || (!evenWhenStopped && stop.stop_requested()))
            return platform::unexpected(Failure());
          auto result = store.save(token);
          if (!result) return platform::unexpected(Failure(result.error()));
          return platform::Unit{};
        },
        stop);
    if (!saved) return platform::unexpected(Failure());
    return std::move(*saved);
  }

  std::shared_ptr<RefreshTokenStoring> store_;
  std::atomic<std::uint64_t> epoch_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void(RefreshTokenStoring&)>> jobs_;
  bool quitting_ = false;
  std::thread thread_;
};

// The revocations that sign-outs start, each on a thread of its own that holds the services and
// the token but never the store. Owned by the store so that none outlives it: the process must not
// tear down libcurl and OpenSSL under a request that is still running. Main thread only.
class AuthenticationStore::Revocations {
 public:
  ~Revocations() { finish(std::chrono::milliseconds::zero()); }

  void start(std::function<void(std::stop_token)> work) {
    prune();
    auto done = std::make_shared<bool>(false);
    entries_.push_back(Entry{std::jthread([work = std::move(work), shared = shared_, done](std::stop_token stop) {
                               work(stop);
                               {
                                 std::lock_guard lock(shared->mutex);
                                 *done = true;
                               }
                               shared->changed.notify_all();
                             }),
                             done});
  }

  void finish(std::chrono::milliseconds grace) {
    {
      std::unique_lock lock(shared_->mutex);
      shared_->changed.wait_for(lock, grace, [&] {
        return std::all_of(entries_.begin(), entries_.end(), [](const Entry& entry) { return *entry.done; });
      });
    }
    for (auto& entry : entries_) entry.thread.request_stop();
    entries_.clear();  // joins: a stopped request ends at once
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
  };
  struct Entry {
    std::jthread thread;
    std::shared_ptr<bool> done;  // guarded by the shared mutex
  };

  // Forgets the revocations that have ended; joined outside the lock, which they take on their way out.
  void prune() {
    std::list<Entry> ended;
    {
      std::lock_guard lock(shared_->mutex);
      for (auto entry = entries_.begin(); entry != entries_.end();) {
        const auto next = std::next(entry);
        if (*entry->done) ended.splice(ended.end(), entries_, entry);
        entry = next;
      }
    }
  }

  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
  std::list<Entry> entries_;
};

// One per store, shared with its workers so that a wait can see them end.
struct AuthenticationStore::WorkerEnds {
  std::mutex mutex;
  std::condition_variable changed;
};

struct AuthenticationStore::Worker {
  std::jthread thread;
  std::shared_ptr<bool> finished = std::make_shared<bool>(false);  // guarded by the ends' mutex
};

namespace {

// The blocking steps of restoring, signing in and renewing, run on a worker thread. After every wait
// the task checks that it is still wanted (`isCurrent`) before it goes on, so a cancelled or
// signed-out task saves and reports nothing.
class Pipeline {
 public:
  using Failure = AuthenticationStore::Failure;
  template <typename T>
  using Outcome = platform::Expected<T, Failure>;
  using Save = std::function<Outcome<platform::Unit>(const std::string&)>;

  Pipeline(AuthenticationAPI& api, std::function<bool()> isCurrent, Save save, AuthenticationStore::Now now,
           std::stop_token stop)
      : api_(api), isCurrent_(std::move(isCurrent)), save_(std::move(save)), now_(std::move(now)), stop_(std::move(stop)) {}

  // Checks a token answer, saves its refresh token and loads the bootstrap. A restore or renewal
  // (`mayRenewForBootstrap`) renews once more when the bootstrap answers 401; a sign-in does not.
  Outcome<AuthenticatedAccount> accept(const OAuthTokenResponse& response, bool mayRenewForBootstrap) {
    if (!equalsIgnoringCase(response.tokenType, "Bearer")) return fail(Kind::unexpectedResponse);
    if (!grantsEveryScope(response.scope)) return fail(Kind::insufficientScope);
    if (!response.refreshToken) return fail(Kind::unexpectedResponse);
    // A renewal's token is saved before asking whether the work is still wanted (see `renew`).
    if (auto saved = save_(*response.refreshToken); !saved) return platform::unexpected(saved.error());
    if (!isCurrent_()) return cancelled();
    const auto expiresAt = now_() + seconds(response.expiresIn);

    auto bootstrap = api_.bootstrap(response.accessToken, stop_);
    if (!isCurrent_()) return cancelled();
    if (!bootstrap && bootstrap.error().kind() == Kind::unauthorized && mayRenewForBootstrap) {
      auto renewed = api_.refresh(*response.refreshToken, stop_);
      if (!renewed) return isCurrent_() ? platform::unexpected(Failure(renewed.error())) : cancelled();
      if (!renewed->refreshToken) return fail(Kind::unexpectedResponse);
      if (auto saved = save_(*renewed->refreshToken); !saved) return platform::unexpected(saved.error());
      if (!isCurrent_()) return cancelled();
      auto second = api_.bootstrap(renewed->accessToken, stop_);
      if (!isCurrent_()) return cancelled();
      if (!second) return platform::unexpected(Failure(second.error()));
      return AuthenticatedAccount{renewed->accessToken, now_() + seconds(renewed->expiresIn), std::move(*second)};
    }
    if (!bootstrap) return platform::unexpected(Failure(bootstrap.error()));
    return AuthenticatedAccount{response.accessToken, expiresAt, std::move(*bootstrap)};
  }

  // An answer means the service has retired `refreshToken`: its successor is saved even when the
  // renewal is no longer wanted, unless the save itself says otherwise (`Save`).
  Outcome<AuthenticatedAccount> renew(const std::string& refreshToken) {
    auto response = api_.refresh(refreshToken, stop_);
    if (!response) return isCurrent_() ? platform::unexpected(Failure(response.error())) : cancelled();
    return accept(*response, true);
  }

  Outcome<AuthenticatedAccount> exchange(const std::string& code, const std::string& codeVerifier) {
    auto response = api_.exchange(code, codeVerifier, stop_);
    if (!isCurrent_()) return cancelled();
    if (!response) return platform::unexpected(Failure(response.error()));
    return accept(*response, false);
  }

 private:
  static platform::Unexpected<Failure> fail(Kind kind) { return platform::unexpected(Failure(AuthenticationError(kind))); }
  static platform::Unexpected<Failure> cancelled() { return platform::unexpected(Failure()); }

  AuthenticationAPI& api_;
  std::function<bool()> isCurrent_;
  Save save_;
  AuthenticationStore::Now now_;
  std::stop_token stop_;
};

using StoredToken = platform::Expected<std::optional<std::string>, AuthenticationError>;

}  // namespace

std::shared_ptr<AuthenticationStore> AuthenticationStore::make(OAuthConfiguration configuration,
                                                               std::shared_ptr<AuthenticationAPI> api,
                                                               std::shared_ptr<RefreshTokenStoring> keychain,
                                                               std::shared_ptr<WebAuthenticating> webAuthentication,
                                                               std::shared_ptr<platform::MainQueue> queue, Now now) {
  return std::shared_ptr<AuthenticationStore>(new AuthenticationStore(std::move(configuration), std::move(api),
                                                                      std::move(keychain), std::move(webAuthentication),
                                                                      std::move(queue), std::move(now)));
}

AuthenticationStore::AuthenticationStore(OAuthConfiguration configuration, std::shared_ptr<AuthenticationAPI> api,
                                         std::shared_ptr<RefreshTokenStoring> keychain,
                                         std::shared_ptr<WebAuthenticating> webAuthentication,
                                         std::shared_ptr<platform::MainQueue> queue, Now now)
    : configuration_(std::move(configuration)),
      api_(std::move(api)),
      keychain_(std::make_shared<Keychain>(std::move(keychain))),
      webAuthentication_(std::move(webAuthentication)),
      queue_(std::move(queue)),
      now_(std::move(now)),
      mainThread_(std::this_thread::get_id()),
      workerEnds_(std::make_shared<WorkerEnds>()),
      revocations_(std::make_unique<Revocations>()) {}

// The epoch is left as it is: a renewal stopped here still saves the token it was granted.
AuthenticationStore::~AuthenticationStore() {
  if (scheduledRefresh_) scheduledRefresh_->cancel();
  stopWorkers();
  revocations_->finish(std::chrono::milliseconds::zero());
}

void AuthenticationStore::stopWorkers() {
  for (auto& worker : workers_) worker->thread.request_stop();
  for (auto& worker : workers_) {
    // The last owner may be a service client on one of our own threads; it cannot wait for itself.
    if (worker->thread.get_id() == std::this_thread::get_id()) worker->thread.detach();
  }
  workers_.clear();  // waits for the others, which stop promptly
}

void AuthenticationStore::finishBackgroundWork(std::chrono::milliseconds grace) {
  const auto deadline = std::chrono::steady_clock::now() + grace;
  {
    std::unique_lock lock(workerEnds_->mutex);
    workerEnds_->changed.wait_until(lock, deadline, [&] {
      return std::all_of(workers_.begin(), workers_.end(),
                         [](const auto& worker) { return *worker->finished; });
    });
  }
  stopWorkers();
  revocations_->finish(std::max(
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()),
      std::chrono::milliseconds::zero()));
}

platform::Subscription AuthenticationStore::subscribe(std::function<void(const AuthenticationState&)> observer,
                                                      platform::Delivery delivery) {
  return state_.subscribe(std::move(observer), delivery);
}

void AuthenticationStore::setState(AuthenticationState state) {
  {
    std::lock_guard lock(currentTokenMutex_);
    if (const auto* account = authenticatedAccount(state)) {
      currentToken_ = CurrentToken{account->accessToken, account->expiresAt, renewalMargin()};
    } else {
      currentToken_.reset();
    }
  }
  state_.set(std::move(state));
}

std::optional<std::string> AuthenticationStore::tokenNotDueForRenewal() const {
  std::lock_guard lock(currentTokenMutex_);
  if (!currentToken_ || currentToken_->expiresAt - now_() <= currentToken_->renewalMargin) return std::nullopt;
  return currentToken_->accessToken;
}

std::stop_source AuthenticationStore::startJob(std::function<void(std::stop_token)> work) {
  std::list<std::unique_ptr<Worker>> ended;  // joined outside the lock, which they take on their way out
  {
    std::lock_guard lock(workerEnds_->mutex);
    for (auto worker = workers_.begin(); worker != workers_.end();) {
      const auto next = std::next(worker);
      if (*(*worker)->finished) ended.splice(ended.end(), workers_, worker);
      worker = next;
    }
  }
  auto worker = std::make_unique<Worker>();
  worker->thread = std::jthread(
      [work = std::move(work), ends = workerEnds_, finished = worker->finished](std::stop_token stop) {
        work(stop);
        {
          std::lock_guard lock(ends->mutex);
          *finished = true;
        }
        ends->changed.notify_all();
      });
  auto source = worker->thread.get_stop_source();
  workers_.push_back(std::move(worker));
  return source;
}

void AuthenticationStore::post(const std::shared_ptr<platform::MainQueue>& queue, std::weak_ptr<AuthenticationStore> weak,
                               std::uint64_t epoch, std::function<void(AuthenticationStore&)> deliver) {
  queue->post([weak = std::move(weak), epoch, deliver = std::move(deliver)] {
    const auto self = weak.lock();
    if (self && self->keychain_->epoch() == epoch) deliver(*self);
  });
}

// MARK: - Restore, sign-in, retry, sign-out

void AuthenticationStore::restore() {
  if (flowID_ != 0) return;
  const auto flowID = flowID_ = nextID_++;
  flowIsSignIn_ = false;
  const auto epoch = keychain_->epoch();
  flowStop_ = startJob([weak = weak_from_this(), queue = queue_, api = api_, keychain = keychain_, now = now_, epoch,
                        flowID](std::stop_token stop) {
    const auto isCurrent = [&] { return !stop.stop_requested() && keychain->epoch() == epoch; };
    auto stored = keychain->perform<StoredToken>([](RefreshTokenStoring& store) { return store.read(); }, stop);
    if (!stored || !isCurrent()) return;
    if (stored->hasValue() && !stored->value()) {
      post(queue, weak, epoch, [flowID](AuthenticationStore& store) {
        if (store.flowID_ != flowID) return;
        store.flowID_ = 0;
        store.setState(SignedOut{});
      });
      return;
    }
    AccountOutcome outcome = platform::unexpected(Failure());
    if (!*stored) {
      outcome = platform::unexpected(Failure(stored->error()));
    } else {
      Pipeline pipeline(
          *api, isCurrent,
          [&](const std::string& token) { return keychain->keepUnlessSignedOut(epoch, stop, token); }, now,
          stop);
      outcome = pipeline.renew(*stored->value());
    }
    post(queue, weak, epoch, [flowID, outcome = std::move(outcome)](AuthenticationStore& store) mutable {
      store.finishFlow(flowID, std::move(outcome));
    });
  });
}

void AuthenticationStore::signIn() {
  if (!std::holds_alternative<SignedOut>(state())) return;
  cancelFlow();
  const auto flowID = flowID_ = nextID_++;
  flowIsSignIn_ = true;
  setState(Authorizing{});

  auto request = PKCEAuthorizationRequest::make();
  if (!request) return finishFlow(flowID, platform::unexpected(Failure(request.error())));
  auto url = configuration_.authorizationURL(request->state, request->codeChallenge);
  if (!url) return finishFlow(flowID, platform::unexpected(Failure(url.error())));
  webAuthentication_->authenticate(
      *url, OAuthConfiguration::callbackScheme,
      [weak = weak_from_this(), epoch = keychain_->epoch(), flowID, verifier = request->codeVerifier,
       state = request->state](platform::Expected<std::string, AuthenticationError> callback) mutable {
        const auto self = weak.lock();
        if (!self || self->keychain_->epoch() != epoch || self->flowID_ != flowID) return;
        self->continueSignIn(flowID, std::move(verifier), std::move(state), std::move(callback));
      });
}

void AuthenticationStore::continueSignIn(std::uint64_t flowID, std::string codeVerifier, std::string expectedState,
                                         platform::Expected<std::string, AuthenticationError> callback) {
  if (!callback) return finishFlow(flowID, platform::unexpected(Failure(callback.error())));
  auto code = OAuthCallbackValidator{configuration_, std::move(expectedState)}.validate(*callback);
  if (!code) return finishFlow(flowID, platform::unexpected(Failure(code.error())));
  const auto epoch = keychain_->epoch();
  flowStop_ = startJob([weak = weak_from_this(), queue = queue_, api = api_, keychain = keychain_, now = now_, epoch,
                        flowID, code = std::move(*code),
                        codeVerifier = std::move(codeVerifier)](std::stop_token stop) {
    const auto isCurrent = [&] { return !stop.stop_requested() && keychain->epoch() == epoch; };
    Pipeline pipeline(
        *api, isCurrent, [&](const std::string& token) { return keychain->saveIfCurrent(epoch, stop, token); }, now,
        stop);
    auto outcome = pipeline.exchange(code, codeVerifier);
    if (!isCurrent()) return;
    post(queue, weak, epoch, [flowID, outcome = std::move(outcome)](AuthenticationStore& store) mutable {
      store.finishFlow(flowID, std::move(outcome));
    });
  });
}

void AuthenticationStore::finishFlow(std::uint64_t flowID, AccountOutcome outcome) {
  if (flowID_ != flowID) return;
  flowID_ = 0;
  if (outcome) return enterAuthenticated(*outcome);
  const auto& failure = outcome.error();
  if (!failure) return;  // cancelled: whoever cancelled has set the state
  logger().notice("Sign-in or restore failed: {}", platform::publicArg(toString(failure->kind())));
  if (failure->kind() == Kind::authorizationCancelled) return setState(SignedOut{});
  if (flowIsSignIn_) return handleSignInFailure(*failure);
  handleFailure(*failure);
}

void AuthenticationStore::cancelFlow() {
  if (flowID_ == 0) return;
  flowStop_.request_stop();
  flowID_ = 0;
}

void AuthenticationStore::retry() {
  if (!std::holds_alternative<TemporarilyUnavailable>(state())) return;
  setState(Restoring{});
  restore();
}

void AuthenticationStore::signOut() {
  // Ending the epoch first makes every task of this session drop what it learns from now on.
  keychain_->endEpoch();
  cancelFlow();
  if (refreshID_ != 0) {
    refreshStop_.request_stop();
    refreshID_ = 0;
    auto waiters = std::exchange(refreshWaiters_, {});
    for (auto& waiter : waiters) {
      queue_->post([waiter = std::move(waiter)] { waiter(platform::unexpected(Failure())); });
    }
  }
  if (scheduledRefresh_) scheduledRefresh_->cancel();
  scheduledRefresh_.reset();
  webAuthentication_->cancel();

  // The deletion is queued here, before anything a later session saves. Revoking waits for the
  // network on a thread of its own that holds the services but not the store.
  auto stored = keychain_->request<std::optional<std::string>>([](RefreshTokenStoring& store) {
    auto token = store.read();
    (void)store.deleteToken();
    return token && token->has_value() ? token->value() : std::optional<std::string>();
  });
  revocations_->start([api = api_, stored = std::move(stored)](std::stop_token stop) {
    auto token = stored->wait(stop);
    if (token && *token && !stop.stop_requested()) api->revoke(**token, stop);
  });
  setState(SignedOut{});
}

// MARK: - Accepting, renewing and failing

void AuthenticationStore::enterAuthenticated(const AuthenticatedAccount& account) {
  const auto now = now_();
  tokenLifetime_ = account.expiresAt - now;
  setState(Authenticated{account});
  if (scheduledRefresh_) scheduledRefresh_->cancel();

  const auto margin = renewalMargin();
  auto delay = std::max<std::chrono::system_clock::duration>(account.expiresAt - now - margin,
                                                            std::chrono::system_clock::duration::zero());
  // With a lifetime of a minute or less the margin would make every renewal due at once.
  delay = std::max<std::chrono::system_clock::duration>(delay, minimumRenewalDelay);
  const auto epoch = keychain_->epoch();
  scheduledRefresh_ = queue_->postDelayed(
      std::chrono::duration_cast<platform::Duration>(delay), [weak = weak_from_this(), epoch] {
        const auto self = weak.lock();
        if (!self || self->keychain_->epoch() != epoch) return;
        self->scheduledRefresh_.reset();
        self->refresh([weak](AccountOutcome outcome) {
          const auto store = weak.lock();
          if (!store || outcome) return;
          store->handleScheduledRefreshFailure(outcome.error());
        });
      });
}

std::chrono::system_clock::duration AuthenticationStore::renewalMargin() const {
  // A minute before expiry; for tokens that live two minutes or less, half their lifetime, so that a
  // short-lived token is still used for a while before it is renewed.
  const auto half = tokenLifetime_ / 2;
  return std::max<std::chrono::system_clock::duration>(
      std::chrono::system_clock::duration::zero(),
      std::min<std::chrono::system_clock::duration>(refreshMargin, half));
}

void AuthenticationStore::refresh(AccountCompletion completion) {
  refreshWaiters_.push_back(std::move(completion));
  if (refreshID_ != 0) return;
  const auto refreshID = refreshID_ = nextID_++;
  const auto epoch = keychain_->epoch();
  refreshStop_ = startJob([weak = weak_from_this(), queue = queue_, api = api_, keychain = keychain_, now = now_,
                           epoch, refreshID](std::stop_token stop) {
    const auto isCurrent = [&] { return !stop.stop_requested() && keychain->epoch() == epoch; };
    auto stored = keychain->perform<StoredToken>([](RefreshTokenStoring& store) { return store.read(); }, stop);
    if (!stored || !isCurrent()) return;
    AccountOutcome outcome = platform::unexpected(Failure());
    if (!*stored) {
      outcome = platform::unexpected(Failure(stored->error()));
    } else if (!stored->value()) {
      outcome = platform::unexpected(error(Kind::invalidGrant));
    } else {
      Pipeline pipeline(
          *api, isCurrent,
          [&](const std::string& token) { return keychain->keepUnlessSignedOut(epoch, stop, token); }, now,
          stop);
      outcome = pipeline.renew(*stored->value());
    }
    if (!isCurrent()) return;
    post(queue, weak, epoch, [refreshID, outcome = std::move(outcome)](AuthenticationStore& store) mutable {
      store.finishRefresh(refreshID, std::move(outcome));
    });
  });
}

void AuthenticationStore::finishRefresh(std::uint64_t refreshID, AccountOutcome outcome) {
  if (refreshID_ != refreshID) return;
  refreshID_ = 0;
  auto waiters = std::exchange(refreshWaiters_, {});
  if (outcome) enterAuthenticated(*outcome);
  else if (outcome.error()) logger().notice("Renewal failed: {}", platform::publicArg(toString(outcome.error()->kind())));
  for (auto& waiter : waiters) waiter(outcome);
}

void AuthenticationStore::handleFailure(const AuthenticationError& failure) {
  if (failure.isSessionExpired()) {
    keychain_->submit([](RefreshTokenStoring& store) { (void)store.deleteToken(); });
    setState(SignedOut{});
    return;
  }
  setState(TemporarilyUnavailable{failure.errorDescription()});
}

// The user has just allowed the sign-in in the browser: if the service then refuses it, returning to
// the welcome screen without a word would look as if nothing had happened. An answer that would end a
// stored session (a refused grant, a missing scope, a refused bootstrap) still drops whatever token
// the attempt saved, so that a retry finds none and ends signed out; its text speaks of the sign-in,
// since there was no session to expire.
void AuthenticationStore::handleSignInFailure(const AuthenticationError& failure) {
  if (!failure.isSessionExpired()) return handleFailure(failure);
  keychain_->submit([](RefreshTokenStoring& store) { (void)store.deleteToken(); });
  setState(TemporarilyUnavailable{AuthenticationError::signInFailureDescription()});
}

void AuthenticationStore::handleScheduledRefreshFailure(const Failure& failure) {
  // Only an expired session ends it; other failures wait for the next token request to renew.
  if (failure && failure->isSessionExpired()) handleFailure(*failure);
}

// MARK: - Tokens for the service clients

void AuthenticationStore::validAccessToken(TokenCompletion completion) {
  const auto* account = authenticatedAccount(state());
  if (!account) {
    queue_->post([completion = std::move(completion)] { completion(platform::unexpected(error(Kind::unauthorized))); });
    return;
  }
  if (account->expiresAt - now_() > renewalMargin()) {
    queue_->post([completion = std::move(completion), token = account->accessToken] { completion(token); });
    return;
  }
  refresh([completion = std::move(completion)](AccountOutcome outcome) {
    if (outcome) completion(outcome->accessToken);
    else completion(platform::unexpected(outcome.error()));
  });
}

void AuthenticationStore::accessToken(std::string rejectedToken, TokenCompletion completion) {
  const auto* account = authenticatedAccount(state());
  if (account && account->accessToken != rejectedToken && account->expiresAt > now_()) {
    queue_->post([completion = std::move(completion), token = account->accessToken] { completion(token); });
    return;
  }
  refresh([completion = std::move(completion)](AccountOutcome outcome) {
    if (outcome) completion(outcome->accessToken);
    else completion(platform::unexpected(outcome.error()));
  });
}

AccessTokenResult AuthenticationStore::validAccessToken(std::stop_token stop) {
  // The common case needs no answer from the main thread, which may be busy drawing.
  if (auto token = tokenNotDueForRenewal()) return std::move(*token);
  return waitForToken([](AuthenticationStore& store, TokenCompletion done) { store.validAccessToken(std::move(done)); },
                      std::nullopt, stop);
}

AccessTokenResult AuthenticationStore::accessToken(std::string_view rejectedToken, std::stop_token stop) {
  return waitForToken(
      [rejected = std::string(rejectedToken)](AuthenticationStore& store, TokenCompletion done) {
        store.accessToken(rejected, std::move(done));
      },
      rejectedToken, stop);
}

AccessTokenResult AuthenticationStore::waitForToken(std::function<void(AuthenticationStore&, TokenCompletion)> request,
                                                    std::optional<std::string_view> rejectedToken,
                                                    std::stop_token stop) {
  const auto convert = [](platform::Expected<std::string, Failure> outcome) -> AccessTokenResult {
    if (outcome) return std::move(*outcome);
    if (!outcome.error()) return platform::unexpected(AccessTokenError::cancelled());
    return platform::unexpected(AccessTokenError::failed(outcome.error()->errorDescription()));
  };
  if (std::this_thread::get_id() == mainThread_) {
    // Waiting here would wait for ourselves: answer only what is known now.
    const auto* account = authenticatedAccount(state());
    if (!account) return convert(platform::unexpected(error(Kind::unauthorized)));
    // The token just refused is never handed back; only a renewal could help, and that means waiting.
    const bool usable = rejectedToken ? account->accessToken != *rejectedToken && account->expiresAt > now_()
                                      : account->expiresAt - now_() > renewalMargin();
    if (usable) return account->accessToken;
    return convert(platform::unexpected(error(Kind::transportUnavailable)));
  }

  struct Slot {
    std::mutex mutex;
    std::condition_variable_any done;
    std::optional<AccessTokenResult> result;
    void set(AccessTokenResult value) {
      std::lock_guard lock(mutex);
      if (!result) result = std::move(value);
      done.notify_all();
    }
  };
  // Held by the posted request and by its completion. Once the last of them is gone unanswered (the
  // store went away with the renewal pending, or the queue was torn down before running it), the
  // waiting thread is told the store is unavailable instead of waiting for ever.
  struct Answer {
    explicit Answer(std::shared_ptr<Slot> target) : slot(std::move(target)) {}
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;
    ~Answer() {
      const AuthenticationError gone(Kind::transportUnavailable);
      slot->set(platform::unexpected(AccessTokenError::failed(gone.errorDescription())));
    }
    std::shared_ptr<Slot> slot;
  };
  auto slot = std::make_shared<Slot>();
  auto answer = std::make_shared<Answer>(slot);
  queue_->post([weak = weak_from_this(), answer = std::move(answer), request = std::move(request), convert] {
    const auto self = weak.lock();
    if (!self) return;
    request(*self, [answer, convert](platform::Expected<std::string, Failure> outcome) {
      answer->slot->set(convert(std::move(outcome)));
    });
  });
  std::unique_lock lock(slot->mutex);
  if (!slot->done.wait(lock, stop, [&] { return slot->result.has_value(); })) {
    return platform::unexpected(AccessTokenError::cancelled());
  }
  return std::move(*slot->result);
}

}  // namespace tavrel
