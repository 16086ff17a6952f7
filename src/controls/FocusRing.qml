import QtQuick
import QtQuick.Templates as T
import Tavrel.Controls

// The ring every focusable control draws while it has the keyboard focus, so a person without a
// pointer sees where Return and Space will act; a click's focus draws none. Laid over the control,
// a little outside its edges.
Rectangle {
    // The control whose focus the ring shows; by default the item the ring sits in.
    property T.Control owner: parent as T.Control
    property real inset: -2

    objectName: "focusRing"
    anchors.fill: parent
    anchors.margins: inset
    radius: 6
    color: "transparent"
    border.width: 2
    border.color: Theme.accent
    // Any keyboard focus but a pointer's: a control the view focuses for Return shows it too.
    visible: owner !== null && owner.activeFocus && owner.focusReason !== Qt.MouseFocusReason && owner.enabled
    Accessible.ignored: true
}
