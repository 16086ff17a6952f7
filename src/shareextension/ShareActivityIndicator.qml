import QtQuick

// A small indeterminate spinner: eight bars fading round the circle, turning while running.
Item {
    id: spinner

    property color color: "white"
    property bool running: true

    implicitWidth: 16
    implicitHeight: 16
    Accessible.role: Accessible.Indicator

    Repeater {
        model: 8
        Rectangle {
            required property int index
            x: (spinner.width - width) / 2
            width: Math.max(1.5, spinner.width * 0.12)
            height: spinner.height * 0.3
            radius: width / 2
            color: spinner.color
            opacity: 0.25 + 0.75 * index / 7
            transform: Rotation {
                origin.x: width / 2
                origin.y: spinner.height / 2
                angle: index * 45
            }
        }
    }

    RotationAnimator on rotation {
        from: 0
        to: 360
        duration: 1000
        loops: Animation.Infinite
        running: spinner.running && spinner.visible
    }
}
