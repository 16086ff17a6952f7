import QtQuick
import Tavrel.Island

// The expanded upload in its frame.
ExpandedIslandScaffold {
    id: page
    property TransferIslandViewModel model
    closeAccessibilityLabel: model ? model.closeLabel : ""
    onOpenSettings: model.openSettings()
    onClose: model.close()
    TransferProgressView {
        parent: page.pageArea
        anchors.fill: parent
        upload: page.model ? page.model.upload : ({})
        onAbortUpload: page.model.abortUpload()
    }
}
