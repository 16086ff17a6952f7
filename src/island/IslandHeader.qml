import QtQuick

// The header line of every expanded page: the mark, then settings and close.
Item {
    id: header

    property string closeAccessibilityLabel
    signal openSettings()
    signal close()

    implicitHeight: 10 + 24 + 12

    IslandMark {
        anchors.left: parent.left
        anchors.verticalCenter: buttons.verticalCenter
    }
    Row {
        id: buttons
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: 10
        spacing: 10
        IslandHeaderButton {
            objectName: "settingsButton"
            systemImage: "gearshape.fill"
            accessibilityLabel: qsTr("Transfer settings")
            onClicked: header.openSettings()
        }
        IslandHeaderButton {
            objectName: "closeButton"
            systemImage: "arrow.down.right.and.arrow.up.left"
            accessibilityLabel: header.closeAccessibilityLabel
            onClicked: header.close()
        }
    }
    Accessible.role: Accessible.Grouping
    Accessible.name: "Tavrel"
}
