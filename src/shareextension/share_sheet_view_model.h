#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <qqmlintegration.h>
#include <vector>

#include "platform/main_queue.h"
#include "platform/thumbnail_generating.h"
#include "shareextension/core/share_extension_model.h"
#include "shareextension/core/share_item_thumbnail_loader.h"
#include "shareextension/share_item_list_model.h"

namespace tavrel {

// What the share sheet shows for the share model's state, and the three things its buttons do.
// Changes nothing itself: Cancel, Retry and Create Link each call one operation of the model.
//
//   state        middle section                         third footer control
//   loading      "Preparing your files" and a spinner   Create Link, disabled
//   ready        summary and rows                        Create Link, Return
//   handingOff   summary and rows (unchanged)            "Creating..." with a spinner, disabled
//   failed       the message; the rows below it if any   Retry, Return
//
// IMPORTANT: Thread-safety. Main thread only.
class ShareSheetViewModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("The share program makes the sheet's view model.")
  // "loading", "ready", "handingOff" or "failed".
  Q_PROPERTY(QString phase READ phaseName NOTIFY changed)
  Q_PROPERTY(tavrel::ShareItemListModel* items READ items CONSTANT)
  Q_PROPERTY(bool showsItems READ showsItems NOTIFY changed)
  Q_PROPERTY(QString summary READ summary NOTIFY changed)
  Q_PROPERTY(QString failureMessage READ failureMessage NOTIFY changed)
  // "createLink", "creating" or "retry".
  Q_PROPERTY(QString footerAction READ footerActionName NOTIFY changed)
  Q_PROPERTY(bool footerActionEnabled READ footerActionEnabled NOTIFY changed)

 public:
  enum class Phase { loading, ready, handingOff, failed };
  enum class FooterAction { createLink, creating, retry };

  struct Actions {
    std::function<void()> createLink;
    std::function<void()> retry;
    std::function<void()> cancel;
  };
  // Where rows get their thumbnails; without a generator every row shows its icon.
  struct Thumbnails {
    platform::MainQueue* mainQueue = nullptr;
    std::shared_ptr<platform::ThumbnailGenerating> generator;
  };

  ShareSheetViewModel(Actions actions, Thumbnails thumbnails, QObject* parent = nullptr);

  // Shows the share model's state; the sheet redraws at once, without animation.
  void show(const ShareExtensionModel::State& state);

  Phase phase() const { return phase_; }
  ShareItemListModel* items() { return &items_; }
  bool showsItems() const { return items_.rowCount() > 0; }
  QString summary() const { return summary_; }
  QString failureMessage() const { return failureMessage_; }
  FooterAction footerAction() const;
  QString phaseName() const;
  QString footerActionName() const;
  bool footerActionEnabled() const { return phase_ == Phase::ready || phase_ == Phase::failed; }

  Q_INVOKABLE void createLink();
  Q_INVOKABLE void retry();
  Q_INVOKABLE void cancel();
  // Return: Create Link when ready, Retry when failed, nothing otherwise.
  Q_INVOKABLE void performDefaultAction();

  // A loader for one row, or null when the sheet makes no thumbnails.
  std::unique_ptr<ShareItemThumbnailLoader> makeThumbnailLoader() const;

  // "1 item" or "<n> items"; unless a folder is among them, " · " and the total of the known sizes.
  static QString summaryText(const std::vector<LoadedShareExtensionItem>& items);

 signals:
  void changed();

 private:
  Actions actions_;
  Thumbnails thumbnails_;
  Phase phase_ = Phase::loading;
  ShareItemListModel items_{this};
  QString summary_;
  QString failureMessage_;
};

}  // namespace tavrel
