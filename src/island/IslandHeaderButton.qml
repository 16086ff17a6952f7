import QtQuick
import Tavrel.Controls
import QtQuick.Templates as T

// A borderless symbol button of the island's header: accent while hovered, else soft white.
T.AbstractButton {
    id: control

    property string systemImage
    property string accessibilityLabel

    hoverEnabled: true
    implicitWidth: 24
    implicitHeight: 24
    padding: 0

    contentItem: Item {
        SymbolImage {
            anchors.centerIn: parent
            name: control.systemImage
            size: 14
            color: control.hovered ? Theme.accent : Theme.white(0.72)
            Behavior on color { ColorAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }
        }
    }
    HoverHandler { cursorShape: Qt.PointingHandCursor }

    Accessible.role: Accessible.Button
    Accessible.name: accessibilityLabel
    Accessible.onPressAction: Activation.activate(control)
}
