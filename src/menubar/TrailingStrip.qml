import QtQuick
import Tavrel.Controls

// The strip at a row's trailing edge that holds its buttons, fading into the row's text. Shown
// while the row is hovered or one of its buttons has the keyboard focus, or always.
Item {
    id: strip
    property bool shown: false
    default property alias content: buttons.data

    anchors.right: parent ? parent.right : undefined
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    width: buttons.implicitWidth + 34 + 12
    height: 28
    opacity: shown ? 1 : 0
    enabled: shown
    visible: opacity > 0

    Behavior on opacity { NumberAnimation { duration: Motion.duration(0.14); easing.type: Easing.OutQuad } }

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0.0; color: Qt.rgba(0.05, 0.05, 0.05, 0) }
            GradientStop { position: 34 / strip.width; color: Qt.rgba(0.05, 0.05, 0.05, 0.96) }
            GradientStop { position: 1.0; color: Qt.rgba(0.05, 0.05, 0.05, 1) }
        }
    }

    Row {
        id: buttons
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4
    }
}
