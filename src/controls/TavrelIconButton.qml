import QtQuick
import Tavrel.Controls
import QtQuick.Templates as T

// A round symbol button with an optional caption under it.
T.AbstractButton {
    id: control

    property string systemImage
    property string accessibilityLabel
    readonly property bool isHovered: hovered && enabled
    readonly property color foregroundColor: isHovered ? Theme.accent : Theme.white(0.72)

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: 0
    implicitWidth: implicitContentWidth
    implicitHeight: implicitContentHeight
    opacity: enabled ? 1.0 : 0.5
    scale: down ? 0.96 : 1.0
    Behavior on scale { NumberAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }

    contentItem: Column {
        spacing: 5

        Item {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 36
            height: 36

            Rectangle {
                anchors.fill: parent
                radius: width / 2
                color: Theme.white(0.10)
            }
            Rectangle {
                objectName: "hoverLayer"
                anchors.fill: parent
                radius: width / 2
                color: control.isHovered ? Theme.white(0.07) : Theme.clear
                border.width: 1
                border.color: Theme.white(control.isHovered ? 0.14 : 0.08)
            }
            FocusRing { owner: control; radius: width / 2 }
            SymbolImage {
                objectName: "symbol"
                anchors.centerIn: parent
                name: control.systemImage
                color: control.foregroundColor
                size: 16
                Behavior on color { ColorAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }
            }
        }

        PlainLabel {
            objectName: "caption"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: control.text.length > 0
            text: control.text
            color: control.foregroundColor
            font.pixelSize: 11
            font.weight: Font.Medium
            maximumLineCount: 1
        }
    }

    HoverHandler {
        cursorShape: control.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    Accessible.role: Accessible.Button
    Accessible.name: accessibilityLabel.length > 0 ? accessibilityLabel
                   : text.length > 0 ? text
                   : systemImage
    Accessible.onPressAction: Activation.activate(control)
    Keys.onReturnPressed: Activation.activate(control)
    Keys.onEnterPressed: Activation.activate(control)
    Keys.onSpacePressed: Activation.activate(control)
}
