import QtQuick
import Tavrel.Controls

// A small turning arc for work whose length is unknown; it stands still under reduce motion.
Item {
    id: spinner
    property real size: 16

    width: size
    height: size

    UploadProgressRing {
        id: ring
        anchors.centerIn: parent
        size: spinner.size
        lineWidth: 2
        progress: 0.3
        showsPercentage: false
        announced: false
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: spinner.visible && !Motion.reduceMotion
        }
    }
    Accessible.ignored: true
}
