import QtQuick
import Tavrel.Island

// The compact completion line, padded. A click on it is the folded island's; its press for
// assistive technology is the same one.
Item {
    id: page
    property TransferIslandViewModel model
    CompactCompletionView {
        anchors.fill: parent
        anchors.leftMargin: 24
        anchors.rightMargin: 24
        Accessible.onPressAction: if (page.model) page.model.press()
    }
}
