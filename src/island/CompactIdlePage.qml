import QtQuick
import Tavrel.Island

// The idle strip, padded.
Item {
    property TransferIslandViewModel model
    CompactIslandView { anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24 }
}
