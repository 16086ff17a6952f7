import QtQuick
import Tavrel.Controls
import QtQuick.Shapes

// Upload progress as a circular arc; while no progress is known, a short arc turning once every
// 1.2 s serves as a spinner. Settled (no turning) once complete or under reduce motion.
Item {
    id: ring

    property real progress: 0
    property real size: 26
    property real lineWidth: 2
    property bool showsPercentage: false
    // Off where the ring only decorates (a spinner, a badge whose row says the percent): it is then
    // left out of the accessibility tree.
    property bool announced: true

    readonly property bool reduceMotion: Motion.reduceMotion
    readonly property real clampedProgress: progress > 0 ? Math.min(progress, 1) : 0
    readonly property real shownFraction: progress > 0 ? Math.min(progress, 1) : (reduceMotion ? 0 : 0.06)
    readonly property int percentage: progress > 0 ? Math.floor(Math.min(progress, 1) * 100) : 0
    readonly property bool settled: reduceMotion || (progress > 0 && progress >= 1)
    readonly property bool turning: !settled && spin.running

    property real animatedFraction: shownFraction
    Behavior on animatedFraction {
        enabled: !ring.reduceMotion
        NumberAnimation { duration: 100; easing.type: Easing.Linear }
    }

    width: size
    height: size
    implicitWidth: size
    implicitHeight: size

    Shape {
        id: track
        anchors.fill: parent
        ShapePath {
            strokeColor: Theme.white(0.14)
            strokeWidth: ring.lineWidth
            fillColor: "transparent"
            capStyle: ShapePath.FlatCap
            joinStyle: ShapePath.MiterJoin
            PathAngleArc {
                centerX: ring.size / 2
                centerY: ring.size / 2
                radiusX: (ring.size - ring.lineWidth) / 2
                radiusY: (ring.size - ring.lineWidth) / 2
                startAngle: 0
                sweepAngle: 360
            }
        }
    }

    Shape {
        id: arc
        objectName: "arc"
        anchors.fill: parent
        // The arc starts at twelve o'clock when settled; while turning, the whole arc rotates.
        rotation: ring.settled ? 0 : spinAngle
        property real spinAngle
        visible: ring.animatedFraction > 0
        ShapePath {
            strokeColor: Theme.accent
            strokeWidth: ring.lineWidth
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            joinStyle: ShapePath.MiterJoin
            PathAngleArc {
                centerX: ring.size / 2
                centerY: ring.size / 2
                radiusX: (ring.size - ring.lineWidth) / 2
                radiusY: (ring.size - ring.lineWidth) / 2
                startAngle: -90
                sweepAngle: 360 * ring.animatedFraction
            }
        }

        NumberAnimation on spinAngle {
            id: spin
            from: 0
            to: 360
            duration: 1200
            loops: Animation.Infinite
            running: !ring.settled && ring.visible
        }
    }

    PlainLabel {
        objectName: "percentage"
        anchors.centerIn: parent
        visible: ring.showsPercentage
        text: ring.percentage + "%"
        color: Theme.accent
        font.pixelSize: Math.min(Math.max(ring.size * 0.25, 10), 14)
        font.bold: true
    }

    // The progress value in percent, as assistive technology reads a progress bar's value. Qt 6.4
    // hands out a value only for sliders, spin boxes, dials and scroll bars, so there the percent is
    // also said in the description.
    readonly property int value: ring.percentage
    readonly property int minimumValue: 0
    readonly property int maximumValue: 100

    Accessible.role: Accessible.ProgressBar
    Accessible.name: qsTr("Upload progress")
    Accessible.description: qsTr("%1 percent").arg(ring.percentage)
    Accessible.ignored: !announced
}
