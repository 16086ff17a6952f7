import QtQuick
import Tavrel.Island

// The compact review line, padded.
Item {
    id: page
    property TransferIslandViewModel model
    CompactReviewActivityView {
        anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24
        status: page.model ? page.model.compactReview : ({})
    }
}
