import QtQuick
import Tavrel.Island

// The expanded completion in its frame.
ExpandedIslandScaffold {
    id: page
    property TransferIslandViewModel model
    closeAccessibilityLabel: model ? model.closeLabel : ""
    onOpenSettings: model.openSettings()
    onClose: model.close()
    TransferCompletionView {
        parent: page.pageArea
        anchors.fill: parent
        completion: page.model ? page.model.completion : ({})
        onCopyLink: page.model.copyLink()
        onViewTransfer: page.model.viewTransfer()
        onDone: page.model.dismissCompletedTransfer()
        onSendMore: page.model.startNewTransfer()
    }
}
