import QtQuick

// A small indeterminate spinner: eight bars fading round the circle, turning while running.
Canvas {
    id: spinner

    property color color: "white"
    property bool running: true

    implicitWidth: 16
    implicitHeight: 16
    Accessible.role: Accessible.Indicator

    onColorChanged: spinner.requestPaint()
    onPaint: {
        const context = spinner.getContext("2d")
        context.reset()
        const barWidth = Math.max(1.5, spinner.width * 0.12)
        const inner = spinner.height * 0.2
        const outer = spinner.height * 0.5
        context.lineCap = "round"
        context.lineWidth = barWidth
        context.strokeStyle = spinner.color
        context.translate(spinner.width / 2, spinner.height / 2)
        for (let bar = 0; bar < 8; ++bar) {
            context.globalAlpha = 0.25 + 0.75 * bar / 7
            context.beginPath()
            context.moveTo(0, -inner)
            context.lineTo(0, -outer + barWidth / 2)
            context.stroke()
            context.rotate(Math.PI / 4)
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
