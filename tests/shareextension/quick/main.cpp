#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>
#include <vector>

#include "platform/manual_main_queue.h"
#include "shareextension/share_sheet_samples.h"
#include "shareextension/share_sheet_view_model.h"
#include "support/fake_thumbnail_generator.h"
#include "qt_support/quick_test_driver.h"

namespace {

using namespace tavrel;
using namespace tavrel::share_extension_state;

// Exposed to the tests as `sheets`: makes a sheet's view model in a given state and records what
// its buttons asked of the model.
class SheetFactory : public QObject {
  Q_OBJECT
 public:
  // `state`: "loading", "ready", "handingOff", "failed" (with items) or "failedEmpty" (without).
  Q_INVOKABLE QObject* make(const QString& state, int itemCount) {
    std::vector<LoadedShareExtensionItem> items;
    const auto samples = testing::sampleItems();
    for (int index = 0; index < itemCount; ++index) items.push_back(samples[static_cast<std::size_t>(index) % samples.size()]);
    auto* viewModel = new ShareSheetViewModel(
        {[this] { calls_.append(QStringLiteral("createLink")); }, [this] { calls_.append(QStringLiteral("retry")); },
         [this] { calls_.append(QStringLiteral("cancel")); }},
        {&queue_, generator_}, this);
    if (state == QLatin1String("ready")) viewModel->show(Ready{items});
    else if (state == QLatin1String("handingOff")) viewModel->show(HandingOff{items});
    else if (state == QLatin1String("failed")) viewModel->show(Failed{"Tavrel didn’t respond. Open the app and try again.", items});
    else if (state == QLatin1String("failedEmpty")) viewModel->show(Failed{"No files were shared.", std::nullopt});
    else viewModel->show(Loading{});
    return viewModel;
  }
  Q_INVOKABLE QStringList calls() const { return calls_; }
  Q_INVOKABLE void clear() { calls_.clear(); }
  Q_INVOKABLE int thumbnailRequests() const { return static_cast<int>(generator_->requests().size()); }
  Q_INVOKABLE int cancelledThumbnailRequests() const { return static_cast<int>(generator_->cancelled().size()); }

 private:
  platform::ManualMainQueue queue_;
  std::shared_ptr<testing::FakeThumbnailGenerator> generator_ = std::make_shared<testing::FakeThumbnailGenerator>();
  QStringList calls_;
};

class Setup : public tavrel::testing::QuickTestSetup {
 protected:
  void engineReady(QQmlEngine& engine) override {
    engine.rootContext()->setContextProperty(QStringLiteral("sheets"), &sheets_);
  }

 private:
  SheetFactory sheets_;
};

}  // namespace

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

QUICK_TEST_MAIN_WITH_SETUP(shareextension, Setup)

#include "main.moc"
