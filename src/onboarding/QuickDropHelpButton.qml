import QtQuick
import QtQuick.Controls.Basic as Basic
import QtQuick.Templates as T
import Tavrel.Controls
import Tavrel.Onboarding

// The small information button beside the island switch. Its popover opens on hover or keyboard
// focus and stays open once clicked, until clicked again, dismissed or cancelled with Escape.
T.AbstractButton {
    id: button

    property bool canInitiateTransfer
    property string tooltipText
    readonly property QuickDropHelpButtonModel helpState: QuickDropHelpButtonModel {
        canInitiateTransfer: button.canInitiateTransfer
        tooltipText: button.tooltipText
    }

    implicitWidth: 20
    implicitHeight: 20
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus

    contentItem: Item {
        SymbolImage {
            anchors.centerIn: parent
            name: "info.circle"
            size: 13
            color: button.helpState.highlighted ? Theme.accent : Theme.white(0.55)
        }
    }

    onClicked: helpState.togglePinned()
    onHoveredChanged: helpState.hoverChanged(hovered)
    onActiveFocusChanged: helpState.focusChanged(activeFocus)
    Keys.onEscapePressed: helpState.cancel()

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    Accessible.role: Accessible.Button
    Accessible.name: helpState.accessibilityLabel
    Accessible.description: tooltipText
    Accessible.onPressAction: Activation.activate(button)

    Basic.Popup {
        id: popover
        objectName: "quickDropTooltip"
        y: button.height + 6
        x: (button.width - width) / 2
        padding: 0
        closePolicy: T.Popup.CloseOnEscape | T.Popup.CloseOnPressOutsideParent
        background: Rectangle {
            color: "black"
            radius: 8
            border.width: 1
            border.color: Theme.white(0.14)
        }
        contentItem: QuickDropTooltipContent {
            canInitiateTransfer: button.canInitiateTransfer
            tooltipText: button.tooltipText
        }
        onClosed: button.helpState.presentationChanged(false)
    }

    // The popover follows the model; it can only open once the button is in a window.
    readonly property var hostWindow: Window.window
    // Once the window has taken the button in, not while it is still doing so.
    onHostWindowChanged: windowWait.restart()
    Timer {
        id: windowWait
        interval: 0
        onTriggered: button.syncPopover()
    }
    function syncPopover() {
        if (helpState.presented && !popover.opened && hostWindow) popover.open()
        else if (!helpState.presented && popover.opened) popover.close()
    }
    Connections {
        target: button.helpState
        function onChanged() { button.syncPopover() }
    }
}
