#pragma once

// The real transfer and authentication stores on fakes and a manual queue, with the island's
// models over them, as the island's tests and previews drive them.

#include <QObject>
#include <QQuickItem>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "account/authentication_store.h"
#include "island/notch_drag_destination.h"
#include "island/notch_layout_model.h"
#include "island/notch_window_controller.h"
#include "island/quick_drop_presentation_model.h"
#include "island/transfer_island_view_model.h"
#include "platform/manual_main_queue.h"
#include "support/fake_thumbnail_generator.h"
#include "support/fake_transfer_services.h"
#include "support/in_memory_refresh_token_store.h"
#include "support/temporary_directory.h"
#include "transfer/transfer_store.h"

namespace tavrel::testing::island {

// Answers the sign-in requests at once. Thread-safe.
class IslandAuthenticationAPI final : public AuthenticationAPI {
 public:
  TokenResult exchange(std::string_view code, std::string_view verifier, std::stop_token stop) override;
  TokenResult refresh(std::string_view refreshToken, std::stop_token stop) override;
  void revoke(std::string_view, std::stop_token) override {}
  BootstrapResult bootstrap(std::string_view accessToken, std::stop_token stop) override;

  void setRefreshFails(bool fails);
  void setCanInitiateTransfer(bool canInitiate);

 private:
  TokenResult token();

  std::mutex mutex_;
  bool refreshFails_ = false;
  bool canInitiateTransfer_ = true;
  int issued_ = 0;
};

// A browser that never comes back unless cancelled; counts the sign-ins it was asked for.
class IslandBrowser final : public WebAuthenticating {
 public:
  explicit IslandBrowser(platform::MainQueue& queue) : queue_(queue) {}
  void authenticate(const platform::Url&, std::string_view, Completion completion) override;
  void cancel() override;
  int started = 0;

 private:
  platform::MainQueue& queue_;
  Completion pending_;
};

// The compact island of a notched laptop screen.
NotchGeometry sampleGeometry(bool hasNotch = true);
// The item under `root` (itself included) with this object name, or null.
QQuickItem* findItem(QQuickItem* root, const QString& name);

class IslandScene : public QObject {
  Q_OBJECT
  Q_PROPERTY(QObject* island READ island CONSTANT)
  Q_PROPERTY(QObject* destination READ destination CONSTANT)
  Q_PROPERTY(QString phase READ phase)
  Q_PROPERTY(QString authentication READ authentication)
  Q_PROPERTY(int pickerRequests READ pickerRequests)
  Q_PROPERTY(int browserSignIns READ browserSignIns)
  Q_PROPERTY(QString lastPickerRequest READ lastPickerRequest)
  Q_PROPERTY(QString clipboard READ clipboard)
  Q_PROPERTY(QString lastOpenedLink READ lastOpenedLink)
  Q_PROPERTY(int collapses READ collapses)
  Q_PROPERTY(int uploadRuns READ uploadRuns)
  Q_PROPERTY(int discards READ discards)
  Q_PROPERTY(QStringList interactions READ interactions)

 public:
  IslandScene();
  ~IslandScene() override;

  QObject* island() { return viewModel.get(); }
  QObject* destination() { return dragDestination.get(); }
  QString phase() const { return viewModel->phaseName(); }
  QString authentication() const;
  int pickerRequests() const { return static_cast<int>(picker->requests().size()); }
  QString lastPickerRequest() const;
  int browserSignIns() const { return browser->started; }
  QString clipboard() const;
  QString lastOpenedLink() const;
  int collapses() const { return collapseCount; }
  int uploadRuns() const { return static_cast<int>(engine->runs().size()); }
  int discards() const { return static_cast<int>(engine->discardCount()); }
  QStringList interactions() const { return interactionLog; }

  // The account. Each returns once the store has reached the state.
  Q_INVOKABLE void signOut();
  Q_INVOKABLE void beginSignIn();
  Q_INVOKABLE void signIn(bool canInitiateTransfer = true);
  Q_INVOKABLE void becomeUnavailable();
  // The transfer phases.
  Q_INVOKABLE void openChooser();
  Q_INVOKABLE void reviewPreparing(const QStringList& names);
  Q_INVOKABLE void reviewReady(const QStringList& names);
  Q_INVOKABLE void reviewPreparationFailed(const QStringList& names);
  Q_INVOKABLE void reviewFailedUpload(const QString& name);
  Q_INVOKABLE void uploading(const QStringList& names, double progress, int bytesPerSecond = 250'000,
                             int currentFileIndex = 0);
  Q_INVOKABLE void completeUpload(const QStringList& names, int expiryDays = 7, bool filePreviewEnabled = true);
  // The presentation.
  Q_INVOKABLE void setExpanded(bool expanded);
  Q_INVOKABLE void setDropTargeted(bool targeted);
  Q_INVOKABLE void settle() { queue->runUntilIdle(); }
  // Answers every thumbnail request waiting with a photo at the requested pixels, then settles.
  Q_INVOKABLE void answerThumbnails();
  Q_INVOKABLE int thumbnailRequests() const { return static_cast<int>(thumbnails->requests().size()); }
  Q_INVOKABLE void expireCopyFeedback();
  Q_INVOKABLE QString writeFile(const QString& name);
  // Back to idle from any phase.
  Q_INVOKABLE void resetTransfers();
  // A controller (never shown) that handles what the scene's drag destination reports.
  void makeController(QQmlEngine& engine);

  std::shared_ptr<platform::ManualMainQueue> queue = std::make_shared<platform::ManualMainQueue>();
  TemporaryDirectory directory;
  std::shared_ptr<FakeTransferFilePreparer> preparer;
  std::shared_ptr<FakeUploadEngine> engine;
  std::shared_ptr<FakeTransferFilePicker> picker;
  std::shared_ptr<FakeThumbnailGenerator> thumbnails = std::make_shared<FakeThumbnailGenerator>();
  std::shared_ptr<RecordingLinkOpener> linkOpener = std::make_shared<RecordingLinkOpener>();
  std::shared_ptr<RecordingClipboard> clipboardWriter = std::make_shared<RecordingClipboard>();
  std::shared_ptr<IslandAuthenticationAPI> authAPI = std::make_shared<IslandAuthenticationAPI>();
  std::shared_ptr<InMemoryRefreshTokenStore> keychain = std::make_shared<InMemoryRefreshTokenStore>();
  std::shared_ptr<IslandBrowser> browser;
  std::shared_ptr<AuthenticationStore> authenticationStore;
  std::unique_ptr<TransferStore> store;
  NotchLayoutModel layout;
  QuickDropPresentationModel presentation;
  std::unique_ptr<TransferIslandViewModel> viewModel;
  std::unique_ptr<NotchDragDestination> dragDestination;
  std::unique_ptr<NotchWindowController> controller;
  std::vector<NotchInteraction> recordedInteractions;
  QStringList interactionLog;
  int collapseCount = 0;
  TransferDefaults defaults{7, TransferRegion::na, false, false, std::nullopt, true};

 private:
  void restoreUntil(const std::function<bool()>& reached);
  std::vector<std::filesystem::path> files(const QStringList& names);
  void enqueue(const QStringList& names, TransferStartPolicy policy);
};

}  // namespace tavrel::testing::island
