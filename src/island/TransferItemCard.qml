import QtQuick
import Tavrel.Controls

// One tile of the review carousel: the item's icon with its name beneath.
Item {
    id: card

    // { displayName, isFolder, isVideo, symbol, accessibilityLabel }
    property var item: ({})

    width: 90
    height: 90
    clip: true

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.white(0.1)
    }
    Column {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 8
        SymbolImage {
            anchors.horizontalCenter: parent.horizontalCenter
            name: card.item.symbol || "doc"
            color: Theme.white(0.85)
            size: 42
        }
        PlainLabel {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: card.item.displayName || ""
            font.pixelSize: 10
            elide: Text.ElideMiddle
            maximumLineCount: 1
        }
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: item.accessibilityLabel || ""
}
