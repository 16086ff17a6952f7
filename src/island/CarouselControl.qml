import QtQuick
import Tavrel.Controls
import QtQuick.Templates as T

// The previous or next control over an edge of the carousel, on a fade into black.
Item {
    id: control

    property bool leading: true
    property string systemImage
    property string accessibilityLabel
    signal activated()

    width: 58
    height: 90

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: control.leading ? Theme.black(0.95) : "transparent" }
            GradientStop { position: 0.5; color: Theme.black(0.68) }
            GradientStop { position: 1; color: control.leading ? "transparent" : Theme.black(0.95) }
        }
    }
    T.AbstractButton {
        id: button
        objectName: control.leading ? "previousButton" : "nextButton"
        width: 28
        height: 28
        anchors.verticalCenter: parent.verticalCenter
        x: control.leading ? 6 : control.width - width - 6
        hoverEnabled: true
        background: Rectangle {
            radius: 14
            color: Theme.white(button.hovered ? 0.2 : 0.14)
            Behavior on color { ColorAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }
        }
        contentItem: Item {
            SymbolImage {
                anchors.centerIn: parent
                name: control.systemImage
                size: 13
                color: button.hovered ? Theme.accent : "white"
            }
        }
        HoverHandler { cursorShape: Qt.PointingHandCursor }
        onClicked: control.activated()
        Accessible.role: Accessible.Button
        Accessible.name: control.accessibilityLabel
        Accessible.onPressAction: Activation.activate(button)
    }
}
