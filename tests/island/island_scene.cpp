#include "island/island_scene.h"

#include <QUrl>
#include <algorithm>

#include "account/oauth_configuration.h"

namespace tavrel::testing::island {

namespace auth = authentication_state;

AuthenticationAPI::TokenResult IslandAuthenticationAPI::token() {
  std::string scope;
  for (const auto& entry : OAuthConfiguration::scopes()) scope += (scope.empty() ? "" : " ") + entry;
  ++issued_;
  return OAuthTokenResponse{"access-" + std::to_string(issued_), "Bearer", 3600, "refresh-" + std::to_string(issued_),
                            scope};
}

AuthenticationAPI::TokenResult IslandAuthenticationAPI::exchange(std::string_view, std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  return token();
}

AuthenticationAPI::TokenResult IslandAuthenticationAPI::refresh(std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  if (refreshFails_) return platform::unexpected(AuthenticationError(AuthenticationError::Kind::transportUnavailable));
  return token();
}

AuthenticationAPI::BootstrapResult IslandAuthenticationAPI::bootstrap(std::string_view, std::stop_token) {
  std::lock_guard lock(mutex_);
  AppBootstrap bootstrap;
  bootstrap.user = {"user-1", "Ada Lovelace", "ada@example.com", std::nullopt};
  bootstrap.workspace = {"workspace-1", "Workspace", "owner", "team"};
  bootstrap.permissions.canInitiateTransfer = canInitiateTransfer_;
  bootstrap.transferSettings.defaults.region = "na";
  bootstrap.transferSettings.defaults.expiryDays = 7;
  return bootstrap;
}

void IslandAuthenticationAPI::setRefreshFails(bool fails) {
  std::lock_guard lock(mutex_);
  refreshFails_ = fails;
}

void IslandAuthenticationAPI::setCanInitiateTransfer(bool canInitiate) {
  std::lock_guard lock(mutex_);
  canInitiateTransfer_ = canInitiate;
}

void IslandBrowser::authenticate(const platform::Url&, std::string_view, Completion completion) {
  ++started;
  pending_ = std::move(completion);
}

void IslandBrowser::cancel() {
  if (!pending_) return;
  queue_.post([completion = std::exchange(pending_, nullptr)] {
    completion(platform::unexpected(AuthenticationError(AuthenticationError::Kind::authorizationCancelled)));
  });
}

QQuickItem* findItem(QQuickItem* root, const QString& name) {
  if (root->objectName() == name) return root;
  for (QQuickItem* child : root->childItems()) {
    if (QQuickItem* found = findItem(child, name)) return found;
  }
  return nullptr;
}

NotchGeometry sampleGeometry(bool hasNotch) {
  return NotchGeometry{QRectF(0, 0, 1512, 982), hasNotch, 185, QSizeF(185, 32), 0};
}

IslandScene::IslandScene() {
  preparer = std::make_shared<FakeTransferFilePreparer>(*queue);
  engine = std::make_shared<FakeUploadEngine>(*queue);
  picker = std::make_shared<FakeTransferFilePicker>(*queue);
  browser = std::make_shared<IslandBrowser>(*queue);
  authenticationStore =
      AuthenticationStore::make(OAuthConfiguration{*platform::Url::parse("https://app.example.com")}, authAPI, keychain,
                                browser, queue, [] { return std::chrono::system_clock::now(); });
  TransferStore::Services services{preparer,
                                   engine,
                                   picker,
                                   linkOpener,
                                   clipboardWriter,
                                   std::make_shared<RecordingTransferNotifier>(),
                                   ApplicationLinks{*platform::Url::parse("https://app.example.com")},
                                   std::make_shared<ImmediateTransferClock>()};
  TransferStore::Closures closures;
  closures.transferDefaults = [this] { return defaults; };
  closures.canInitiateTransfer = [this] { return authenticationStore->canInitiateTransfer(); };
  store = std::make_unique<TransferStore>(*queue, std::move(services), std::move(closures));
  layout.setGeometry(sampleGeometry());
  viewModel = std::make_unique<TransferIslandViewModel>(*store, layout, presentation, *authenticationStore,
                                                        [this] { ++collapseCount; });
  viewModel->setThumbnailGenerator(*queue, thumbnails);
  dragDestination = std::make_unique<NotchDragDestination>(
      *store, layout, presentation, *authenticationStore, [this](const NotchInteraction& interaction) {
        recordedInteractions.push_back(interaction);
        static const char* const names[] = {"dropped", "click", "collapseRequested", "validDragEntered", "dragExited"};
        interactionLog.push_back(QString::fromLatin1(names[interaction.index()]));
        if (controller) controller->handle(interaction);
      });
}

IslandScene::~IslandScene() {
  controller.reset();
  dragDestination.reset();
  viewModel.reset();
  store.reset();
  authenticationStore->signOut();
  authenticationStore.reset();
  queue->runUntilIdle();
}

QString IslandScene::authentication() const {
  static const char* const names[] = {"authenticated", "temporarilyUnavailable", "restoring", "signedOut", "authorizing"};
  return QString::fromLatin1(names[authenticationStore->state().index()]);
}

QString IslandScene::lastPickerRequest() const {
  if (picker->requests().empty()) return {};
  return picker->requests().back().request == TransferFilePickerRequest::files ? QStringLiteral("files")
                                                                               : QStringLiteral("folder");
}

QString IslandScene::clipboard() const {
  return clipboardWriter->written.empty() ? QString() : QString::fromStdString(clipboardWriter->written.back());
}

QString IslandScene::lastOpenedLink() const {
  return linkOpener->opened.empty() ? QString() : QString::fromStdString(linkOpener->opened.back().toString());
}

void IslandScene::signOut() {
  authenticationStore->signOut();
  queue->runUntil([&] { return std::holds_alternative<auth::SignedOut>(authenticationStore->state()); });
  settle();  // a cancelled browser sign-in reports back
}

void IslandScene::beginSignIn() {
  signOut();
  authenticationStore->signIn();
  queue->runUntil([&] { return std::holds_alternative<auth::Authorizing>(authenticationStore->state()); });
}

void IslandScene::signIn(bool canInitiateTransfer) {
  authAPI->setRefreshFails(false);
  authAPI->setCanInitiateTransfer(canInitiateTransfer);
  restoreUntil([&] { return std::holds_alternative<auth::Authenticated>(authenticationStore->state()); });
}

void IslandScene::becomeUnavailable() {
  authAPI->setRefreshFails(true);
  restoreUntil([&] { return std::holds_alternative<auth::TemporarilyUnavailable>(authenticationStore->state()); });
}

void IslandScene::restoreUntil(const std::function<bool()>& reached) {
  if (!std::holds_alternative<auth::SignedOut>(authenticationStore->state())) signOut();
  // A sign-out's delete of the stored token runs on a thread of its own and may land after the
  // save below; the restore then finds no token and is tried again.
  for (int attempt = 0; attempt < 5; ++attempt) {
    int answers = -1;  // the subscription hears the current state at once
    const auto subscription = authenticationStore->subscribe([&](const AuthenticationState&) { ++answers; });
    (void)keychain->save("stored-refresh-token");
    authenticationStore->restore();
    queue->runUntil([&] {
      return reached() || (answers > 0 && std::holds_alternative<auth::SignedOut>(authenticationStore->state()));
    });
    if (reached()) return;
  }
}

QString IslandScene::writeFile(const QString& name) {
  return QString::fromStdString(directory.writeFile(name.toStdString(), "hello").string());
}

std::vector<std::filesystem::path> IslandScene::files(const QStringList& names) {
  std::vector<std::filesystem::path> paths;
  for (const auto& name : names) paths.push_back(directory.writeFile(name.toStdString(), "hello"));
  return paths;
}

void IslandScene::enqueue(const QStringList& names, TransferStartPolicy policy) {
  store->send(transfer_action::EnqueueURLs{files(names), policy});
  settle();
}

void IslandScene::openChooser() {
  store->send(transfer_action::OpenChooser{});
  settle();
}

void IslandScene::reviewPreparing(const QStringList& names) { enqueue(names, TransferStartPolicy::requiresReview); }

void IslandScene::reviewReady(const QStringList& names) {
  enqueue(names, TransferStartPolicy::requiresReview);
  preparer->succeed();
  settle();
}

void IslandScene::reviewPreparationFailed(const QStringList& names) {
  enqueue(names, TransferStartPolicy::requiresReview);
  preparer->fail(TransferPreparationError::cannotRead(names.value(0).toStdString()));
  settle();
}

void IslandScene::reviewFailedUpload(const QString& name) {
  reviewReady({name});
  store->send(transfer_action::StartTransfer{});
  settle();
  engine->fail("The network went away.");
  settle();
}

void IslandScene::uploading(const QStringList& names, double progress, int bytesPerSecond, int currentFileIndex) {
  const auto requested = preparer->requests().size();
  enqueue(names, TransferStartPolicy::automatic);
  if (preparer->requests().size() == requested) return;  // dropped: the account may not send
  preparer->succeed();
  settle();
  if (engine->runs().empty()) return;
  UploadProgressSnapshot snapshot;
  snapshot.preparedTransfer = engine->lastRun().input.preparedTransfer;
  const auto total = snapshot.preparedTransfer->totalBytes();
  snapshot.progress = progress;
  snapshot.bytesUploaded =
      std::clamp<std::int64_t>(static_cast<std::int64_t>(static_cast<double>(total) * progress), 0, total);
  snapshot.bytesPerSecond = bytesPerSecond;
  if (currentFileIndex >= 0) snapshot.currentFileIndex = currentFileIndex;
  engine->progress(snapshot);
  settle();
}

void IslandScene::completeUpload(const QStringList& names, int expiryDays, bool filePreviewEnabled) {
  defaults.expiryDays = expiryDays;
  defaults.filePreviewEnabled = filePreviewEnabled;
  uploading(names, 0.5);
  engine->complete(engine->completedTransferOf(engine->runs().size() - 1));
  settle();
}

void IslandScene::makeController(QQmlEngine& engine) {
  controller = std::make_unique<NotchWindowController>(*store, layout, presentation, *authenticationStore, nullptr,
                                                       engine);
  controller->setThumbnailGenerator(*queue, thumbnails);
}

void IslandScene::answerThumbnails() {
  for (const auto& request : thumbnails->unanswered()) {
    thumbnails->answer(request, makeSamplePhoto(static_cast<int>(request->height * request->scale)));
  }
  settle();
}

void IslandScene::resetTransfers() {
  for (int round = 0; round < 4; ++round) {
    const auto& state = store->state();
    for (const auto& id : state.allItemIDs()) {
      if (id != state.currentTransferID) store->send(transfer_action::CancelTransfer{id});
    }
    const auto& phase = store->state().phase;
    if (reviewState(phase)) store->send(transfer_action::CancelSelection{});
    if (const auto* upload = activeUpload(phase)) {
      // A whole upload can no longer be aborted: it completes.
      if (upload->progress.progress >= 1) {
        engine->complete(engine->completedTransferOf(engine->runs().size() - 1));
        settle();
      } else {
        store->send(transfer_action::AbortUpload{TransferAbortDestination::idle});
      }
    }
    if (completedTransfer(store->state().phase)) store->send(transfer_action::DismissCompletedTransfer{});
    if (isChoosing(store->state().phase)) store->send(transfer_action::CloseChooser{});
    settle();
    if (isIdle(store->state().phase) && !store->state().hasActivity()) break;
  }
  presentation.reset();
}

void IslandScene::setExpanded(bool expanded) {
  presentation.setIsland(expanded ? IslandPresentation::expanded : IslandPresentation::compact);
}

void IslandScene::setDropTargeted(bool targeted) { presentation.setIsDropTargeted(targeted); }

void IslandScene::expireCopyFeedback() { queue->advance(std::chrono::seconds(3)); }

}  // namespace tavrel::testing::island
