pragma Singleton
import QtQuick

// The colours every window draws with: white and translucent white on dark surfaces, one
// turquoise accent.
QtObject {
    readonly property color accent: Qt.rgba(47 / 255, 183 / 255, 201 / 255, 1)
    readonly property color ink: Qt.rgba(4 / 255, 20 / 255, 22 / 255, 1)
    readonly property color deepRed: Qt.rgba(173 / 255, 33 / 255, 41 / 255, 1)
    // The desktop's green and red, as the system palettes draw them.
    readonly property color green: Qt.rgba(52 / 255, 199 / 255, 89 / 255, 1)
    readonly property color red: Qt.rgba(255 / 255, 59 / 255, 48 / 255, 1)
    readonly property color clear: "transparent"

    function white(opacity) { return Qt.rgba(1, 1, 1, opacity) }
    function black(opacity) { return Qt.rgba(0, 0, 0, opacity) }
    function accentAt(opacity) { return Qt.rgba(accent.r, accent.g, accent.b, opacity) }
}
