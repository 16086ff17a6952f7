import QtQuick
import Tavrel.Controls
import QtQuick.Templates as T

// The program's text button: one of four colour variants, a faint fill and border while hovered,
// a slight shrink and darker fill while pressed, half opacity when disabled, and the pointing hand
// over it while it can be clicked.
T.Button {
    id: control

    // "primary", "secondary", "white" or "destructive".
    property string variant: "primary"
    readonly property bool isHovered: hovered && enabled
    readonly property bool isDestructive: variant === "destructive"

    readonly property color foregroundColor: variant === "primary" ? Theme.ink
                                           : variant === "secondary" ? Theme.white(0.72)
                                           : variant === "white" ? "black"
                                           : "white"
    readonly property color backgroundColor: variant === "primary" ? Theme.accent
                                           : variant === "secondary" ? Theme.white(0.10)
                                           : variant === "white" ? "white"
                                           : Theme.deepRed
    readonly property color hoverFillColor: !isHovered ? Theme.clear
                                          : variant === "white" ? Theme.black(0.08)
                                          : Theme.white(0.07)
    readonly property color borderColor: variant === "secondary" ? Theme.white(isHovered ? 0.14 : 0.08)
                                       : Theme.clear

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    implicitWidth: Math.max(implicitBackgroundWidth, implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(36, implicitContentHeight + topPadding + bottomPadding)
    leftPadding: 12
    rightPadding: 12
    opacity: enabled ? 1.0 : 0.5
    scale: down ? 0.98 : 1.0

    Behavior on scale { NumberAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }

    contentItem: PlainLabel {
        text: control.text
        color: control.foregroundColor
        font.pixelSize: 13
        font.weight: Font.Medium
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        objectName: "fill"
        radius: 10
        color: control.backgroundColor
        opacity: control.down ? 0.82 : 1.0
        Behavior on opacity { NumberAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }

        Rectangle {
            objectName: "hoverLayer"
            anchors.fill: parent
            radius: 10
            color: control.hoverFillColor
            border.width: 1
            border.color: control.borderColor
            Behavior on color { ColorAnimation { duration: Motion.duration(0.12); easing.type: Easing.OutQuad } }
        }
    }

    HoverHandler {
        cursorShape: control.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    FocusRing { radius: 12 }

    Accessible.role: Accessible.Button
    Accessible.name: text
    //: Read by screen readers after a button's name: pressing it deletes or stops something.
    Accessible.description: isDestructive ? qsTr("destructive") : ""
    Accessible.onPressAction: Activation.activate(control)
    Keys.onReturnPressed: Activation.activate(control)
    Keys.onEnterPressed: Activation.activate(control)
}
