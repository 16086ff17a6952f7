import QtQuick
import Tavrel.Controls

// The compact line after a transfer completed.
Item {
    SymbolImage {
        id: check
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.topMargin: 8
        name: "checkmark.circle.fill"
        color: Theme.green
        size: 17
    }
    PlainLabel {
        anchors.left: check.right
        anchors.leftMargin: 8
        anchors.verticalCenter: check.verticalCenter
        text: qsTr("Completed")
        font.pixelSize: 13
        font.weight: Font.DemiBold
    }
    PlainLabel {
        anchors.right: parent.right
        anchors.verticalCenter: check.verticalCenter
        width: Math.max(30, implicitWidth)
        horizontalAlignment: Text.AlignHCenter
        text: "100%"
        font.pixelSize: 13
        font.weight: Font.DemiBold
        Accessible.name: qsTr("100 percent uploaded")
    }
    Accessible.role: Accessible.Button
    Accessible.name: qsTr("Tavrel, transfer completed")
    Accessible.description: qsTr("Press to show completed transfer details.")
}
