import QtQuick

// The frame of every expanded page: the header, and the page below it.
Item {
    id: scaffold

    property string closeAccessibilityLabel
    property Component page
    readonly property Item pageItem: pageLoader.item
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
    Loader {
        id: pageLoader
        anchors.top: header.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        sourceComponent: scaffold.page
    }
}
