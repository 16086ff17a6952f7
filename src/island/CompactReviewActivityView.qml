import QtQuick
import Tavrel.Controls

// The compact line while a selection is under review: preparing, ready, or failed.
Item {
    id: view

    // { icon: "progress" | "warning" | "ready", text }
    property var status: ({})
    readonly property bool failed: status.icon === "warning"

    Row {
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.topMargin: 8
        spacing: 8

        Item {
            width: 16
            height: 16
            anchors.verticalCenter: parent.verticalCenter
            UploadProgressRing {
                objectName: "reviewSpinner"
                anchors.centerIn: parent
                visible: view.status.icon === "progress"
                Accessible.ignored: true
                progress: 0
                size: 14
                lineWidth: 2
            }
            SymbolImage {
                objectName: "reviewIcon"
                anchors.centerIn: parent
                visible: view.status.icon !== "progress"
                name: view.failed ? "exclamationmark.triangle.fill" : "checkmark.circle"
                color: view.failed ? Theme.red : Theme.accent
                size: 15
            }
        }
        PlainLabel {
            objectName: "reviewStatus"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, view.width - 24)
            text: view.status.text || ""
            font.pixelSize: 13
            font.weight: Font.Medium
            maximumLineCount: 1
            elide: Text.ElideRight
            Accessible.ignored: true
        }
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: status.text || ""
}
