import QtQuick
import Tavrel.Share

// The share program's only window: the sheet on a transparent, undecorated window of the sheet's
// size. Closing it from the window manager is Cancel, which ends the request; the program then
// closes it.
Window {
    id: window

    required property ShareSheetViewModel viewModel

    title: qsTr("Send with Tavrel")
    flags: Qt.Dialog | Qt.FramelessWindowHint
    color: "transparent"
    width: 420
    height: 430
    minimumWidth: 420
    maximumWidth: 420
    minimumHeight: 430
    maximumHeight: 430

    onClosing: (close) => {
        close.accepted = false
        window.viewModel.cancel()
    }

    ShareExtensionView {
        anchors.fill: parent
        viewModel: window.viewModel
        // Undecorated: the header moves the window.
        onHeaderDragged: window.startSystemMove()
    }
}
