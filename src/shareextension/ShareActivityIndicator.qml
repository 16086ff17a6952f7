import QtQuick

// A small indeterminate spinner: eight bars fading round the circle, turning while running.
Item {
    id: spinner

    property color color: "white"
    property bool running: true

    implicitWidth: 16
    implicitHeight: 16
    Accessible.role: Accessible.Indicator

    ShareSpinnerBar { step: 0; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 1; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 2; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 3; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 4; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 5; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 6; spinnerSize: spinner.width; color: spinner.color }
    ShareSpinnerBar { step: 7; spinnerSize: spinner.width; color: spinner.color }

    RotationAnimator on rotation {
        from: 0
        to: 360
        duration: 1000
        loops: Animation.Infinite
        running: spinner.running && spinner.visible
    }
}
