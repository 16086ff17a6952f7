import QtQuick
import Tavrel.Controls

// A thin horizontal bar of the upload's fraction.
Item {
    id: bar

    property real progress: 0
    readonly property real fraction: progress > 0 ? Math.min(progress, 1) : 0

    implicitHeight: 4
    height: 4
    Accessible.ignored: true

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: Theme.white(0.14)
    }
    Rectangle {
        objectName: "fill"
        height: parent.height
        radius: 2
        color: Theme.accent
        width: bar.width * bar.fraction
        Behavior on width { NumberAnimation { duration: Motion.duration(0.12); easing.type: Easing.Linear } }
    }
}
