import QtQuick
import Tavrel.Controls

// The strip at a row's trailing edge that holds its buttons, fading into the row's text. Shown
// while the row is hovered or one of its buttons has the keyboard focus, or always. While faded
// out its buttons stay in the Tab chain (Tabbing to one is what reveals the strip); only pointer
// hits are stopped, so a click there reaches the row beneath.
Item {
    id: strip
    property bool shown: false
    default property alias content: buttons.data

    anchors.right: parent ? parent.right : undefined
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    width: buttons.implicitWidth + 34 + 12
    // Room for the buttons' focus rings, which the clip below would cut.
    height: 34
    opacity: shown ? 1 : 0
    // Clipped children are hit only inside the strip's own shape, and a hidden strip has none.
    clip: true
    containmentMask: shown ? null : noHits

    Item { id: noHits }

    Behavior on opacity { NumberAnimation { duration: Motion.duration(0.14); easing.type: Easing.OutQuad } }

    Rectangle {
        anchors.fill: parent
        anchors.topMargin: 3
        anchors.bottomMargin: 3
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
