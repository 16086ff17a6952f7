import QtQuick
import Tavrel.Controls

// The tile at the end of the carousel while a drag hovers: drop here to add more.
Item {
    width: 90
    height: 90

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.accentAt(0.12)
    }
    DashedRoundedRectangle {
        anchors.fill: parent
        strokeColor: Theme.accent
        strokeWidth: 1.5
    }
    SymbolImage {
        anchors.centerIn: parent
        name: "plus"
        color: Theme.accent
        size: 22
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: qsTr("Drop to add files or folders")
}
