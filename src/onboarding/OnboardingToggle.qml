import QtQuick
import QtQuick.Templates as T
import Tavrel.Controls

// A checkbox with the onboarding window's label: callout size, semibold, white.
T.CheckBox {
    id: toggle

    implicitWidth: leftPadding + implicitContentWidth + rightPadding
    implicitHeight: Math.max(implicitIndicatorHeight, implicitContentHeight) + topPadding + bottomPadding
    padding: 2
    spacing: 6
    font.pixelSize: 12
    font.weight: Font.DemiBold
    opacity: enabled ? 1.0 : 0.5

    indicator: Rectangle {
        objectName: "box"
        x: toggle.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 14
        implicitHeight: 14
        radius: 3
        color: toggle.checked ? Theme.accent : Theme.white(0.08)
        border.width: toggle.checked ? 0 : 1
        border.color: toggle.visualFocus ? Theme.accent : Theme.white(0.4)

        SymbolImage {
            anchors.centerIn: parent
            visible: toggle.checked
            name: "checkmark"
            size: 10
            color: Theme.ink
        }
    }

    contentItem: PlainLabel {
        leftPadding: toggle.indicator.width + toggle.spacing
        text: toggle.text
        font: toggle.font
        color: "white"
        verticalAlignment: Text.AlignVCenter
    }

    FocusRing {}

    HoverHandler {
        cursorShape: toggle.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    Accessible.role: Accessible.CheckBox
    Accessible.name: text
    Accessible.checkable: true
    Accessible.checked: checked
    // As a click: the box turns over and the view hears it toggled.
    Accessible.onPressAction: Activation.activate(toggle)
    Accessible.onToggleAction: Activation.activate(toggle)
}
