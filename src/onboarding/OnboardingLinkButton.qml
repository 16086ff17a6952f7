import QtQuick
import QtQuick.Templates as T
import Tavrel.Controls

// A borderless text button in the accent colour: caption size, semibold.
T.AbstractButton {
    id: link

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    implicitWidth: implicitContentWidth
    implicitHeight: implicitContentHeight
    opacity: down ? 0.7 : 1.0

    contentItem: PlainLabel {
        text: link.text
        font.pixelSize: 10
        font.weight: Font.DemiBold
        color: Theme.accent
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    FocusRing { radius: 4 }

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.onPressAction: Activation.activate(link)
    // A focused link acts on Return itself; the window's default button is for when it has focus.
    Keys.onReturnPressed: Activation.activate(link)
    Keys.onEnterPressed: Activation.activate(link)
}
