import QtQuick

// The frame of every expanded page: the header, and below it the page (placed in `pageArea`).
Item {
    id: scaffold

    property string closeAccessibilityLabel
    readonly property Item pageArea: pageArea
    readonly property var pageItem: pageArea.children.length > 0 ? pageArea.children[0] : null
    signal openSettings()
    signal close()

    IslandHeader {
        id: header
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 44
        anchors.rightMargin: 44
        closeAccessibilityLabel: scaffold.closeAccessibilityLabel
        onOpenSettings: scaffold.openSettings()
        onClose: scaffold.close()
    }
    Item {
        id: pageArea
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
    }
}
