import QtQuick
import QtQuick.Controls.Basic as Basic
import Tavrel.Controls

// A checkbox with the onboarding window's label: callout size, semibold, white.
Basic.CheckBox {
    id: toggle

    font.pixelSize: 12
    font.weight: Font.DemiBold
    opacity: enabled ? 1.0 : 0.5
    spacing: 6

    contentItem: PlainLabel {
        leftPadding: toggle.indicator.width + toggle.spacing
        text: toggle.text
        font: toggle.font
        color: "white"
        verticalAlignment: Text.AlignVCenter
    }

    HoverHandler {
        cursorShape: toggle.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor
    }

    Accessible.name: text
}
