#include <QtQml/qqmlextensionplugin.h>
#include <memory>
#include <vector>

#include "platform/manual_main_queue.h"
#include "previews/preview_canvas.h"
#include "shareextension/share_sheet_samples.h"
#include "shareextension/share_item_thumbnail.h"
#include "shareextension/share_sheet_view_model.h"
#include "support/fake_thumbnail_generator.h"

Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

namespace {

using namespace tavrel;
using namespace tavrel::share_extension_state;

}  // namespace

TAVREL_PREVIEWS(share) {
  ShareItemThumbnail::prepareIconTheme();
  platform::ManualMainQueue queue;
  auto generator = std::make_shared<testing::FakeThumbnailGenerator>();
  canvas.settle = [&] {
    for (const auto& request : generator->unanswered()) {
      generator->answer(request, testing::makeSamplePhoto(static_cast<int>(request->height * request->scale)));
    }
    queue.runUntilIdle();
  };

  auto items = testing::sampleItems();
  items.push_back(testing::sampleFile("/home/ada/Pictures/Lighthouse in the long autumn evening light, north side.png",
                                      845'112, "image/png"));
  items.push_back(testing::sampleFile("/home/ada/Notes/empty.txt", 0, "text/plain"));
  items.push_back(testing::sampleFile("/home/ada/Downloads/archive", std::nullopt, "application/zip"));

  const QString qml = QStringLiteral(R"(
      import QtQuick
      import Tavrel.Share
      Item {
        required property ShareSheetViewModel viewModel
        ShareExtensionView { x: 20; y: 20; viewModel: parent.viewModel }
      })");
  const QSize size(460, 470);
  const QColor desktop(0x5b, 0x63, 0x70);
  const auto render = [&](const char* name, const ShareExtensionModel::State& state) {
    ShareSheetViewModel viewModel({}, {&queue, generator});
    viewModel.show(state);
    canvas.render(QString::fromLatin1(name), qml, {{"viewModel", QVariant::fromValue(&viewModel)}}, size, desktop);
  };
  render("sheet-loading", Loading{});
  render("sheet-ready", Ready{items});
  render("sheet-ready-one-empty-file", Ready{{testing::sampleFile("/home/ada/Notes/empty.txt", 0, "text/plain")}});
  render("sheet-handing-off", HandingOff{items});
  render("sheet-failed-with-items",
         Failed{"Tavrel didn’t respond. Open the app and try again.", std::vector(items.begin(), items.begin() + 2)});
  render("sheet-failed-without-items",
         Failed{"One or more selected items aren’t local files or folders.", std::nullopt});
  render("sheet-failed-long-message",
         Failed{"Tavrel couldn’t access its shared handoff container. The folder may belong to another user, or the "
                "disk may be full or read-only. Free some space, check the folder’s owner and try again; if it keeps "
                "happening, restart the computer.",
                std::nullopt});
}
