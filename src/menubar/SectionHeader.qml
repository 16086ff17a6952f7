import QtQuick
import QtQuick.Templates as T
import Tavrel.Controls

// "ACTIVITY", "RECENT": a section's title, with an optional trailing button.
Item {
    id: header
    property string title
    property string trailingTitle
    signal trailingClicked()

    height: 28

    AccessibleLabel {
        objectName: "title"
        heading: true
        Accessible.name: header.title
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        text: header.title.toUpperCase()
        color: Theme.white(0.55)
        font.pixelSize: 10
        font.weight: Font.DemiBold
        font.letterSpacing: 0.5
    }

    T.AbstractButton {
        id: trailing
        objectName: "trailingButton"
        visible: header.trailingTitle.length > 0
        anchors.right: parent.right
        // The title keeps its 16-point margin; the padding gives the focus ring room around it.
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        leftPadding: 4
        rightPadding: 4
        implicitWidth: implicitContentWidth + leftPadding + rightPadding
        implicitHeight: 20
        focusPolicy: Qt.StrongFocus
        text: header.trailingTitle
        contentItem: PlainLabel {
            text: trailing.text
            color: Theme.white(0.72)
            font.pixelSize: 10
            font.weight: Font.Medium
            verticalAlignment: Text.AlignVCenter
        }
        onClicked: header.trailingClicked()
        HoverHandler { cursorShape: Qt.PointingHandCursor }
        FocusRing {}
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: Activation.activate(trailing)
        Keys.onReturnPressed: Activation.activate(trailing)
        Keys.onEnterPressed: Activation.activate(trailing)
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: Theme.white(0.08)
    }
}
