import QtQuick
import Tavrel.Island

// The expanded chooser in its frame; closing only folds the island.
ExpandedIslandScaffold {
    id: page
    property TransferIslandViewModel model
    closeAccessibilityLabel: model ? model.closeLabel : ""
    onOpenSettings: model.openSettings()
    onClose: model.close()
    TransferChooserView {
        parent: page.pageArea
        anchors.fill: parent
        isDropTargeted: page.model ? page.model.isDropTargeted : false
        onSelectFiles: page.model.chooseFiles()
        onSelectFolder: page.model.chooseFolder()
        onViewAccountDefaults: page.model.openSettings()
    }
}
