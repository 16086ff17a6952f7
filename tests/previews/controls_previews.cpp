#include <QtQml/qqmlextensionplugin.h>

#include "previews/preview_canvas.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)

TAVREL_PREVIEWS(controls) {
  const QSize buttonSize(240, 56);
  for (const char* variant : {"primary", "secondary", "white", "destructive"}) {
    const QString name = QString::fromLatin1(variant);
    const QString qml = QStringLiteral(R"(
      import QtQuick
      import Tavrel.Controls
      Item {
        property string variant
        property bool enabled_: true
        TavrelButton { x: 20; y: 10; width: 200; text: "Upload Files"; variant: parent.variant; enabled: parent.enabled_ }
      })");
    canvas.render(QStringLiteral("button-") + name, qml, {{"variant", name}}, buttonSize);
    canvas.render(QStringLiteral("button-") + name + QStringLiteral("-disabled"), qml,
                  {{"variant", name}, {"enabled_", false}}, buttonSize);
  }
  canvas.render(QStringLiteral("icon-buttons"), QStringLiteral(R"(
      import QtQuick
      import Tavrel.Controls
      Row {
        x: 16; y: 14; spacing: 18
        TavrelIconButton { systemImage: "arrow.clockwise"; text: "Retry" }
        TavrelIconButton { systemImage: "xmark"; text: "Cancel" }
        TavrelIconButton { systemImage: "checkmark"; enabled: false; text: "Done" }
        TavrelIconButton { systemImage: "folder" }
      })"),
                {}, QSize(260, 84));
  canvas.render(QStringLiteral("wordmark"), QStringLiteral(R"(
      import QtQuick
      import Tavrel.Controls
      Column {
        x: 16; y: 16; spacing: 18
        BrandWordmark { glyphSize: 18; titleFont.pixelSize: 13; titleFont.weight: Font.DemiBold }
        BrandWordmark { glyphSize: 28; subtitle: "Desktop" }
        BrandWordmark { glyphSize: 18; markOnly: true }
      })"),
                {}, QSize(200, 130));
  canvas.render(QStringLiteral("progress-rings"), QStringLiteral(R"(
      import QtQuick
      import Tavrel.Controls
      Row {
        x: 16; y: 16; spacing: 20
        UploadProgressRing { progress: 0; size: 26; lineWidth: 2; showsPercentage: false }
        UploadProgressRing { progress: 0.35; size: 26; lineWidth: 2; showsPercentage: false }
        UploadProgressRing { progress: 0.72; size: 56; lineWidth: 4; showsPercentage: true }
        UploadProgressRing { progress: 1; size: 80; lineWidth: 5; showsPercentage: true }
      })"),
                {}, QSize(300, 112));
  canvas.render(QStringLiteral("assets"), QStringLiteral(R"(
      import QtQuick
      Row {
        x: 16; y: 16; spacing: 16
        Image { source: "image://asset/MenuBarMark?#ffffff"; sourceSize: Qt.size(64, 64) }
        Image { source: "image://asset/ShareAppIcon"; sourceSize: Qt.size(64, 64) }
        Image { source: "image://asset/EmptyUploadImage"; sourceSize: Qt.size(160, 120) }
        Image { source: "image://asset/OnboardingBackgroundPattern1"; sourceSize: Qt.size(400, 300) }
      })"),
                {}, QSize(740, 332));
}
