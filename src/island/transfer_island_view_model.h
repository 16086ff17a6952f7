#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>
#include <memory>

#include "account/authentication_store.h"
#include "island/notch_layout_model.h"
#include "island/quick_drop_presentation_model.h"
#include "platform/main_queue.h"
#include "platform/observable.h"
#include "platform/thumbnail_generating.h"
#include "transfer/media_thumbnail_loader.h"
#include "transfer/transfer_store.h"

namespace tavrel {

// Which page the island shows.
enum class IslandContent {
  authentication,     // the account may not send, whatever the phase
  compactIdle,        // the mark and the shortcut (idle, or choosing while compact)
  compactReview,
  compactUpload,
  compactCompletion,
  chooser,
  review,
  progress,
  completion,
};
IslandContent islandContent(const TransferPhase& phase, const AuthenticationState& authentication,
                            IslandPresentation presentation);
const char* islandContentName(IslandContent content);

// The island root's model: which page shows, at which size and shape, with which texts, and what
// each control sends. Every change of transfer state goes to the transfer store; the close buttons
// that only collapse call `onCollapse`.
//
// IMPORTANT: Thread-safety. Main thread only. The stores and models must outlive it.
class TransferIslandViewModel final : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("made by the island's controller")
  Q_PROPERTY(QString content READ content NOTIFY changed)
  Q_PROPERTY(bool isExpanded READ isExpanded NOTIFY changed)
  Q_PROPERTY(bool isDropTargeted READ isDropTargeted NOTIFY changed)
  Q_PROPERTY(double islandWidth READ islandWidth NOTIFY changed)
  Q_PROPERTY(double islandHeight READ islandHeight NOTIFY changed)
  Q_PROPERTY(bool attachedToTop READ attachedToTop NOTIFY changed)
  Q_PROPERTY(double topFlareRadius READ topFlareRadius NOTIFY changed)
  Q_PROPERTY(double bottomRadius READ bottomRadius NOTIFY changed)
  Q_PROPERTY(QString closeLabel READ closeLabel NOTIFY changed)
  Q_PROPERTY(QString phaseName READ phaseName NOTIFY changed)
  Q_PROPERTY(QVariantMap authentication READ authentication NOTIFY changed)
  Q_PROPERTY(QVariantMap compactReview READ compactReview NOTIFY changed)
  Q_PROPERTY(QVariantMap upload READ upload NOTIFY changed)
  Q_PROPERTY(QVariantMap review READ review NOTIFY changed)
  Q_PROPERTY(QVariantMap completion READ completion NOTIFY changed)

 public:
  TransferIslandViewModel(TransferStore& store, NotchLayoutModel& layout, QuickDropPresentationModel& presentation,
                          AuthenticationStore& authenticationStore, std::function<void()> onCollapse,
                          QObject* parent = nullptr);
  ~TransferIslandViewModel() override;

  IslandContent islandContentValue() const;
  QString content() const { return QString::fromLatin1(islandContentName(islandContentValue())); }
  // The account may send and the presentation is expanded; the radii and the shadow follow it.
  bool isExpanded() const;
  bool isDropTargeted() const { return presentation_.isDropTargeted(); }
  QSizeF islandSize() const;
  double islandWidth() const { return islandSize().width(); }
  double islandHeight() const { return islandSize().height(); }
  bool attachedToTop() const { return layout_.hasNotch(); }
  double topFlareRadius() const { return isExpanded() ? 22 : 12; }
  double bottomRadius() const { return isExpanded() ? 24 : 12; }
  QString closeLabel() const;
  // The transfer phase by name ("idle", "choosing", "reviewing", "uploading", "completed"): the
  // views animate on its changes.
  QString phaseName() const;
  QVariantMap authentication() const;
  QVariantMap compactReview() const;
  QVariantMap upload() const;
  QVariantMap review() const;
  QVariantMap completion() const;

  // Controls.
  Q_INVOKABLE void chooseFiles();
  Q_INVOKABLE void chooseFolder();
  Q_INVOKABLE void openSettings();
  Q_INVOKABLE void close();
  Q_INVOKABLE void startTransfer();
  Q_INVOKABLE void clearSelection();
  Q_INVOKABLE void abortUpload();
  Q_INVOKABLE void copyLink();
  Q_INVOKABLE void viewTransfer();
  Q_INVOKABLE void dismissCompletedTransfer();
  Q_INVOKABLE void startNewTransfer();
  // A screen reader pressed the island: the panel treats it as a click.
  Q_INVOKABLE void press() { emit pressRequested(); }
  // The review carousel's last index that can sit at its leading edge.
  Q_INVOKABLE int carouselLastScrollIndex(int itemCount, double carouselWidth) const;

  // Where item cards get their thumbnails; until it is set every card shows its icon.
  void setThumbnailGenerator(platform::MainQueue& mainQueue, std::shared_ptr<platform::ThumbnailGenerating> generator);
  // A loader for one card, or null when the island makes no thumbnails.
  std::unique_ptr<MediaThumbnailLoader> makeThumbnailLoader() const;

 signals:
  void changed();
  void pressRequested();

 private:
  TransferStore& store_;
  NotchLayoutModel& layout_;
  QuickDropPresentationModel& presentation_;
  AuthenticationStore& authenticationStore_;
  std::function<void()> onCollapse_;
  platform::Subscription storeSubscription_;
  platform::Subscription authenticationSubscription_;
  platform::MainQueue* thumbnailQueue_ = nullptr;
  std::shared_ptr<platform::ThumbnailGenerating> thumbnailGenerator_;
};

}  // namespace tavrel
