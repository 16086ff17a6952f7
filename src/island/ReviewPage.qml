import QtQuick
import Tavrel.Island

// The expanded review in its frame; closing cancels the selection.
ExpandedIslandScaffold {
    id: page
    property TransferIslandViewModel model
    closeAccessibilityLabel: model ? model.closeLabel : ""
    onOpenSettings: model.openSettings()
    onClose: model.close()
    TransferReviewView {
        parent: page.pageArea
        anchors.fill: parent
        model: page.model
        review: page.model ? page.model.review : ({})
        isDropTargeted: page.model ? page.model.isDropTargeted : false
        onStartTransfer: page.model.startTransfer()
        onClearSelection: page.model.clearSelection()
    }
}
