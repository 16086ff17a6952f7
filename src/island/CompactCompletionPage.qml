import QtQuick
import Tavrel.Island

// The compact completion line, padded.
Item {
    property TransferIslandViewModel model
    CompactCompletionView { anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24 }
}
