import QtQuick

// One bar of the activity indicator: the bar at `step` (0 to 7) of eight, fading with its step.
Rectangle {
    id: bar

    property int step
    property real spinnerSize: 16

    x: (bar.spinnerSize - bar.width) / 2
    y: bar.spinnerSize * 0.05
    width: Math.max(1.5, bar.spinnerSize * 0.12)
    height: bar.spinnerSize * 0.28
    radius: bar.width / 2
    opacity: 0.25 + 0.75 * bar.step / 7
    transform: Rotation {
        origin.x: bar.width / 2
        origin.y: bar.spinnerSize / 2 - bar.y
        angle: bar.step * 45
    }
}
