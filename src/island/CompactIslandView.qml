import QtQuick
import Tavrel.Controls

// The idle strip: the mark and the global shortcut.
Item {
    implicitHeight: 30

    IslandMark {
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.topMargin: 10
    }
    PlainLabel {
        objectName: "shortcut"
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.topMargin: 10
        text: "⌃⌘M"
        color: Theme.white(0.72)
        font.pixelSize: 10
        font.weight: Font.Medium
        Accessible.name: qsTr("Keyboard shortcut, Control Command M")
    }
    Accessible.role: Accessible.Grouping
    Accessible.name: "Tavrel"
}
