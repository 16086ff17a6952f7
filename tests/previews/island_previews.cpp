#include <QtQml/qqmlextensionplugin.h>

#include "controls/motion.h"
#include "island/island_scene.h"
#include "previews/preview_canvas.h"

Q_IMPORT_QML_PLUGIN(Tavrel_IslandPlugin)

namespace {

const QString islandQml = QStringLiteral(R"(
  import QtQuick
  import Tavrel.Island
  Item {
    id: frame
    property QtObject model
    TransferIslandView { anchors.fill: parent; anchors.topMargin: 0; model: frame.model }
  })");

// The review after the user dragged its carousel to the end by hand.
const QString handScrolledQml = QStringLiteral(R"(
  import QtQuick
  import Tavrel.Island
  Item {
    id: frame
    property QtObject model
    TransferIslandView { id: island; anchors.fill: parent; model: frame.model }
    function find(item, name) {
      if (item.objectName === name) return item
      for (let i = 0; i < item.children.length; ++i) {
        const found = find(item.children[i], name)
        if (found) return found
      }
      return null
    }
    // Once laid out: the row dragged to its end, as a hand would leave it.
    property int tries: 0
    function scrollByHand() {
      const carousel = find(island, "carousel")
      // The row lays its cards out on a later turn.
      if (!carousel || carousel.width <= 0 || carousel.contentWidth <= carousel.width) {
        if (++tries < 100) Qt.callLater(scrollByHand)
        return
      }
      carousel.contentX = carousel.contentWidth - carousel.width
      carousel.movementEnded()
    }
    onWidthChanged: Qt.callLater(scrollByHand)
  })");

}  // namespace

TAVREL_PREVIEWS(island) {
  tavrel::testing::island::IslandScene scene;
  canvas.settle = [&] { scene.answerThumbnails(); };
  // The pictures show where each spring comes to rest.
  const bool reduceMotion = tavrel::Motion::shared()->reduceMotion();
  tavrel::Motion::shared()->setReduceMotion(true);
  const QSize compact(420, 70);
  const QSize expanded(640, 300);
  // Light grey behind, so the black island and its shadow show.
  const QColor desk(0xb8, 0xbc, 0xc4);
  const auto render = [&](const QString& name, QSize size) {
    canvas.render(name, islandQml, {{"model", QVariant::fromValue<QObject*>(scene.viewModel.get())}}, size, desk);
  };
  const auto both = [&](const QString& name) {
    scene.setExpanded(false);
    render(name + QStringLiteral("-compact"), compact);
    scene.setExpanded(true);
    render(name + QStringLiteral("-expanded"), expanded);
    scene.setExpanded(false);
  };

  // A new store restores the session first.
  render(QStringLiteral("auth-restoring"), compact);
  scene.signOut();
  render(QStringLiteral("auth-signed-out"), compact);
  scene.beginSignIn();
  render(QStringLiteral("auth-authorizing"), compact);
  scene.becomeUnavailable();
  render(QStringLiteral("auth-unavailable"), compact);
  scene.signIn(false);
  render(QStringLiteral("auth-sending-unavailable"), compact);
  scene.signIn(true);
  render(QStringLiteral("auth-ready-idle"), compact);
  scene.setExpanded(true);
  render(QStringLiteral("idle-expanded-keeps-compact"), compact);
  scene.setExpanded(false);

  scene.openChooser();
  both(QStringLiteral("chooser"));
  // The panel's whole window: the expanded island's shadow within the margin kept for it.
  scene.setExpanded(true);
  render(QStringLiteral("panel-expanded-shadow"), QSize(614, 282));
  scene.setExpanded(false);
  scene.setExpanded(true);
  scene.setDropTargeted(true);
  render(QStringLiteral("chooser-drop-targeted"), expanded);
  scene.resetTransfers();

  scene.reviewPreparing({"Quarterly report.pdf", "Photos"});
  both(QStringLiteral("review-preparing"));
  scene.resetTransfers();
  scene.reviewReady({"beach.png", "notes.txt", "clip.mov", "song.mp3", "deck.key", "archive.zip"});
  both(QStringLiteral("review-ready"));
  scene.setExpanded(true);
  scene.setDropTargeted(true);
  render(QStringLiteral("review-drop-targeted"), expanded);
  scene.setDropTargeted(false);
  canvas.render(QStringLiteral("review-hand-scrolled-to-end"), handScrolledQml,
                {{"model", QVariant::fromValue<QObject*>(scene.viewModel.get())}}, expanded, desk);
  scene.resetTransfers();
  scene.reviewPreparationFailed({"locked.txt"});
  both(QStringLiteral("review-preparation-failed"));
  scene.resetTransfers();
  scene.reviewFailedUpload(QStringLiteral("Holiday video.mov"));
  both(QStringLiteral("review-failed-upload"));
  scene.resetTransfers();

  scene.uploading({"Holiday video.mov", "beach.png", "notes.txt"}, 0.426, 1'250'000, 1);
  both(QStringLiteral("upload"));
  scene.resetTransfers();
  scene.uploading({"beach.png"}, 0, 0, -1);
  both(QStringLiteral("upload-starting"));
  scene.resetTransfers();

  scene.completeUpload({"Quarterly report.pdf", "beach.png"}, 7, true);
  both(QStringLiteral("completion"));
  scene.store->send(tavrel::transfer_action::CopyLink{});
  scene.setExpanded(true);
  render(QStringLiteral("completion-copied"), expanded);
  scene.expireCopyFeedback();
  scene.resetTransfers();

  // The outline alone: attached with its flares, and detached.
  const QString shapeQml = QStringLiteral(R"(
    import QtQuick
    import Tavrel.Island
    Row {
      x: 20; y: 0; spacing: 24
      NotchIslandShape { width: 185; height: 32; attachedToTop: true; topFlareRadius: 12; bottomRadius: 12 }
      NotchIslandShape { width: 325; height: 32; attachedToTop: true; topFlareRadius: 12; bottomRadius: 12 }
      NotchIslandShape { width: 300; height: 140; attachedToTop: true; topFlareRadius: 22; bottomRadius: 24 }
      NotchIslandShape { width: 30; height: 40; attachedToTop: true; topFlareRadius: 22; bottomRadius: 24 }
      NotchIslandShape { y: 10; width: 185; height: 32; attachedToTop: false; bottomRadius: 12 }
      NotchIslandShape { y: 10; width: 200; height: 120; attachedToTop: false; bottomRadius: 24 }
    })");
  canvas.render(QStringLiteral("shape-sizes"), shapeQml, {}, QSize(1360, 160), desk);

  // Without a notch, as on this desktop: a plain rounded island.
  scene.layout.setGeometry(tavrel::testing::island::sampleGeometry(false));
  scene.uploading({"Holiday video.mov"}, 0.7, 2'000'000, 0);
  both(QStringLiteral("detached-upload"));
  scene.resetTransfers();
  canvas.settle = nullptr;
  tavrel::Motion::shared()->setReduceMotion(reduceMotion);
}
