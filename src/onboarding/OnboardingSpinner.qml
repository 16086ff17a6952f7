import QtQuick
import Tavrel.Controls

// An indeterminate progress indicator: eight ticks fading round a circle, turning once a second
// (standing still under reduce motion). Drawn from plain rectangles, so it needs no textures.
Item {
    id: spinner

    property real size: 32
    property color color: Theme.white(0.72)
    property bool running: visible

    // One tick, sized from the rotor it stands in.
    component Tick: Rectangle {
        id: tick
        property int step
        x: (tick.parent.width - tick.width) / 2
        width: Math.max(2, tick.parent.width * 0.09)
        height: tick.parent.height * 0.28
        radius: tick.width / 2
        opacity: 0.2 + 0.8 * tick.step / 7
        antialiasing: true
        transform: Rotation { origin.x: tick.width / 2; origin.y: tick.parent.height / 2; angle: tick.step * 45 }
    }

    implicitWidth: size
    implicitHeight: size
    Accessible.role: Accessible.ProgressBar

    Item {
        objectName: "rotor"
        anchors.fill: parent

        Tick { step: 0; color: spinner.color }
        Tick { step: 1; color: spinner.color }
        Tick { step: 2; color: spinner.color }
        Tick { step: 3; color: spinner.color }
        Tick { step: 4; color: spinner.color }
        Tick { step: 5; color: spinner.color }
        Tick { step: 6; color: spinner.color }
        Tick { step: 7; color: spinner.color }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: spinner.running && !Motion.reduceMotion
        }
    }
}
