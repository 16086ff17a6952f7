import QtQuick
import QtQuick.Controls.Basic
import Tavrel.Controls
import QtQuick.Templates as T

// A small symbol button on a row: cancel, retry, copy.
T.AbstractButton {
    id: control
    property string systemImage
    property real symbolSize: 12
    property color tint: Theme.white(0.72)

    implicitWidth: 28
    implicitHeight: 28
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    opacity: enabled ? 1.0 : 0.5

    contentItem: Item {
        SymbolImage {
            objectName: "symbol"
            anchors.centerIn: parent
            name: control.systemImage
            color: control.tint
            size: control.symbolSize
        }
    }

    FocusRing { inset: 0 }

    ToolTip.visible: hovered && text.length > 0
    ToolTip.delay: 600
    ToolTip.text: text

    HoverHandler {
        cursorShape: control.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: Activation.activate(control)
    Keys.onReturnPressed: Activation.activate(control)
    Keys.onEnterPressed: Activation.activate(control)
    Keys.onSpacePressed: Activation.activate(control)
}
