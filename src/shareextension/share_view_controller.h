#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <memory>

#include "platform/logger.h"
#include "platform/observable.h"
#include "shareextension/core/share_extension_model.h"
#include "shareextension/share_sheet_view_model.h"

class QQmlEngine;

namespace tavrel {

// The share program's window: makes the share model for the request, builds the sheet's window
// (420 x 430, rounded, on its own background) around it, and starts the model once, when the
// window is first shown. Everything the user does afterwards goes through the model; the window
// closes when the request ends (the model completes or cancels it), and closing it from the
// window manager is Cancel.
//
//   created ──loadView──▶ view loaded (model loading) ──first shown──▶ started (start() once)
//
// Destroying the controller releases the model and the window; it neither cancels nor ends the
// request.
//
// IMPORTANT: Thread-safety. Main thread only.
class ShareViewController : public QObject {
  Q_OBJECT

 public:
  static constexpr int sheetWidth = 420;
  static constexpr int sheetHeight = 430;

  struct Dependencies {
    QQmlEngine& engine;
    ShareExtensionModel::Services modelServices;
    ShareSheetViewModel::Thumbnails thumbnails;
  };

  explicit ShareViewController(Dependencies dependencies, QObject* parent = nullptr);
  ~ShareViewController() override;

  // Makes the model (replacing an earlier one) and the sheet's window, not yet shown. Null window
  // when the sheet could not be built (reported on the log).
  void loadView();
  // Shows the window; its first appearance starts the model.
  void showView();
  // Hides the window for good: the request has ended.
  void closeView();

  QQuickWindow* view() const { return window_; }
  ShareExtensionModel* model() const { return model_.get(); }
  ShareSheetViewModel* viewModel() const { return viewModel_.get(); }
  bool didStart() const { return didStart_; }

 private:
  void viewDidAppear();

  QQmlEngine& engine_;
  ShareExtensionModel::Services modelServices_;
  ShareSheetViewModel::Thumbnails thumbnails_;
  platform::Logger logger_{"com.tavrel.macos.share", "Lifecycle"};
  std::unique_ptr<ShareExtensionModel> model_;
  std::unique_ptr<ShareSheetViewModel> viewModel_;
  platform::Subscription stateSubscription_;
  QPointer<QQuickWindow> window_;
  bool didStart_ = false;
};

}  // namespace tavrel
