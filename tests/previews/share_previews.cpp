#include <QtQml/qqmlextensionplugin.h>
#include <memory>
#include <set>
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

// A soft dusk gradient standing in for a photo's thumbnail.
std::shared_ptr<const platform::ThumbnailImage> photo(int pixels) {
  auto image = std::make_shared<platform::ThumbnailImage>();
  image->pixelWidth = pixels * 3 / 2;
  image->pixelHeight = pixels;
  image->rgba.reserve(static_cast<std::size_t>(image->pixelWidth * image->pixelHeight * 4));
  for (int y = 0; y < image->pixelHeight; ++y) {
    for (int x = 0; x < image->pixelWidth; ++x) {
      const double t = static_cast<double>(y) / image->pixelHeight;
      const bool sea = t > 0.62;
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 30 + 40 * t : 250 - 90 * t));
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 80 + 60 * t : 150 - 40 * t + x % 3));
      image->rgba.push_back(static_cast<std::uint8_t>(sea ? 140 + 50 * t : 90 + 120 * t));
      image->rgba.push_back(255);
    }
  }
  return image;
}

}  // namespace

TAVREL_PREVIEWS(share) {
  ShareItemThumbnail::prepareIconTheme();
  platform::ManualMainQueue queue;
  auto generator = std::make_shared<testing::FakeThumbnailGenerator>();
  std::set<const platform::ThumbnailRequest*> answered;
  canvas.settle = [&] {
    for (const auto& request : generator->requests()) {
      if (!answered.insert(request.get()).second) continue;
      generator->answer(request, photo(static_cast<int>(request->height * request->scale)));
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
