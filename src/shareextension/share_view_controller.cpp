#include "shareextension/share_view_controller.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>

namespace tavrel {

ShareViewController::ShareViewController(Dependencies dependencies, QObject* parent)
    : QObject(parent),
      engine_(dependencies.engine),
      modelServices_(std::move(dependencies.modelServices)),
      thumbnails_(std::move(dependencies.thumbnails)) {}

ShareViewController::~ShareViewController() {
  // The window refers to the view model: it goes first.
  delete window_.data();
  stateSubscription_.reset();
}

void ShareViewController::loadView() {
  logger_.info("Loading share extension view");
  delete window_.data();
  stateSubscription_.reset();
  viewModel_.reset();
  model_ = std::make_unique<ShareExtensionModel>(modelServices_);

  ShareExtensionModel* model = model_.get();
  viewModel_ = std::make_unique<ShareSheetViewModel>(
      ShareSheetViewModel::Actions{[model] { model->createLink(); }, [model] { model->retry(); },
                                   [model] { model->cancel(); }},
      thumbnails_);
  stateSubscription_ = model_->subscribe([viewModel = viewModel_.get()](const ShareExtensionModel::State& state) {
    viewModel->show(state);
  });

  QQmlComponent component(&engine_, QUrl(QStringLiteral("qrc:/qt/qml/Tavrel/Share/ShareSheetWindow.qml")));
  QObject* made = component.createWithInitialProperties({{QStringLiteral("viewModel"), QVariant::fromValue(viewModel_.get())}});
  window_ = qobject_cast<QQuickWindow*>(made);
  if (!window_) {
    delete made;
    logger_.error("The share sheet could not be built: {}", platform::publicArg(component.errorString().toStdString()));
    return;
  }
  connect(window_, &QWindow::visibleChanged, this, [this](bool visible) {
    if (visible) viewDidAppear();
  });
}

void ShareViewController::showView() {
  if (!window_) return;
  window_->show();
  window_->raise();
  window_->requestActivate();
}

void ShareViewController::closeView() {
  if (window_) window_->hide();
}

void ShareViewController::viewDidAppear() {
  logger_.info("Share extension view appeared");
  if (didStart_) return;
  didStart_ = true;
  if (model_) model_->start();
}

}  // namespace tavrel
