import QtQuick
import QtQuick.Templates as T
import Tavrel.Controls

// A borderless text button in the accent colour: caption size, semibold.
T.AbstractButton {
    id: link

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    implicitWidth: label.implicitWidth
    implicitHeight: label.implicitHeight
    opacity: down ? 0.7 : 1.0

    contentItem: PlainLabel {
        id: label
        text: link.text
        font.pixelSize: 10
        font.weight: Font.DemiBold
        font.underline: link.visualFocus
        color: Theme.accent
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: clicked()
}
