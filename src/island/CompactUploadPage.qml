import QtQuick
import Tavrel.Island

// The compact upload line, padded.
Item {
    id: page
    property TransferIslandViewModel model
    CompactUploadView {
        anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24
        upload: page.model ? page.model.upload : ({})
    }
}
