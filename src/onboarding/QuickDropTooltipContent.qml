import QtQuick
import Tavrel.Controls

// What the island help button's popover says: a preview of the island (only when the account may
// send) and the hint text. Read as one element.
Rectangle {
    id: content

    property bool canInitiateTransfer
    property string tooltipText

    implicitWidth: 300
    implicitHeight: column.implicitHeight + 24
    color: "black"
    Accessible.role: Accessible.StaticText
    Accessible.name: tooltipText

    Column {
        id: column
        x: 12
        y: 12
        width: parent.width - 24
        spacing: 12

        Item {
            objectName: "preview"
            visible: content.canInitiateTransfer
            width: parent.width
            height: 120
            clip: true
            Accessible.ignored: true

            Image {
                anchors.centerIn: parent
                // Fills the frame, keeping the pattern's proportions.
                width: Math.max(parent.width, parent.height / 0.75)
                height: width * 0.75
                source: "image://asset/OnboardingBackgroundPattern1"
                sourceSize.width: Math.ceil(width * Screen.devicePixelRatio)
                sourceSize.height: Math.ceil(height * Screen.devicePixelRatio)
            }
            // Rounds the corners by covering them in the popover's black, then draws the edge.
            Rectangle {
                anchors.fill: parent
                anchors.margins: -12
                radius: 10 + 12
                color: "transparent"
                border.width: 12
                border.color: "black"
            }
            Rectangle {
                anchors.fill: parent
                radius: 10
                color: "transparent"
                border.width: 1
                border.color: Theme.white(0.14)
            }
        }

        PlainLabel {
            objectName: "tooltipText"
            width: parent.width
            text: content.tooltipText
            font.pixelSize: 10
            color: Theme.white(0.72)
            wrapMode: Text.Wrap
            Accessible.ignored: true
        }
    }
}
