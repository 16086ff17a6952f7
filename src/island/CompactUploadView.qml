import QtQuick
import Tavrel.Controls

// The compact line while uploading: ring, "Uploading...", file counter and percentage.
Item {
    id: view

    property var upload: ({})

    UploadProgressRing {
        id: ring
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.topMargin: 8 + 1
        progress: view.upload.progress || 0
        size: 16
        lineWidth: 2
        showsPercentage: false
    }
    PlainLabel {
        anchors.left: ring.right
        anchors.leftMargin: 8
        anchors.verticalCenter: ring.verticalCenter
        text: qsTr("Uploading...")
        color: Theme.white(0.72)
        font.pixelSize: 13
    }
    Row {
        anchors.right: parent.right
        anchors.verticalCenter: ring.verticalCenter
        spacing: 10
        PlainLabel {
            objectName: "fileCounter"
            width: Math.max(50, implicitWidth)
            horizontalAlignment: Text.AlignRight
            text: view.upload.fileCountText || ""
            color: Theme.white(0.72)
            font.pixelSize: 13
        }
        Rectangle {
            width: 4; height: 4; radius: 2
            anchors.verticalCenter: parent.verticalCenter
            color: Theme.white(0.72)
        }
        PlainLabel {
            objectName: "compactPercent"
            width: Math.max(30, implicitWidth)
            horizontalAlignment: Text.AlignHCenter
            text: view.upload.percentText || "0%"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            Accessible.name: qsTr("%1 percent uploaded").arg(view.upload.percent || 0)
        }
    }
    Accessible.role: Accessible.Grouping
    Accessible.name: qsTr("Tavrel upload")
}
