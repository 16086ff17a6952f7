import QtQuick
import Tavrel.Controls
import QtQuick.Templates as T

// One of the chooser's two buttons: symbol and title in the accent colour on a faint tile.
T.AbstractButton {
    id: control

    property string systemImage

    hoverEnabled: true
    implicitWidth: 130
    implicitHeight: 36
    scale: down ? 0.985 : 1
    Behavior on scale { NumberAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }

    background: Item {
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: Theme.white(0.1 * (control.down ? 0.84 : control.hovered ? 0.2 : 0))
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: control.hovered ? Theme.white(0.07) : "transparent"
            border.width: control.hovered ? 1 : 0.5
            border.color: control.hovered ? Theme.accent : Theme.accentAt(0.55)
        }
    }
    contentItem: Item {
        Row {
            anchors.centerIn: parent
            spacing: 6
            SymbolImage {
                anchors.verticalCenter: parent.verticalCenter
                name: control.systemImage
                color: Theme.accent
                size: 14
            }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: control.text
                color: Theme.accent
                font.pixelSize: 14
                font.weight: Font.Medium
            }
        }
    }
    HoverHandler { cursorShape: Qt.PointingHandCursor }

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: Activation.activate(control)
}
