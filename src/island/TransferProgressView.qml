import QtQuick
import Tavrel.Controls

// The expanded island while an upload runs: title and current file, ring and bar with the
// percentage, three figures, and the abort button until the upload is whole.
Item {
    id: view

    property var upload: ({})
    signal abortUpload()

    Column {
        anchors.fill: parent
        anchors.leftMargin: 44
        anchors.rightMargin: 44
        anchors.bottomMargin: 20
        spacing: 10

        Column {
            width: parent.width
            spacing: 20

            Item {
                width: parent.width
                height: Math.max(titleColumn.implicitHeight, 20)

                UploadProgressRing {
                    id: ring
                    progress: view.upload.progress || 0
                    size: 20
                    lineWidth: 2
                    showsPercentage: false
                }
                Column {
                    id: titleColumn
                    anchors.left: ring.right
                    anchors.leftMargin: 10
                    anchors.right: badge.left
                    anchors.rightMargin: 10
                    spacing: 3
                    PlainLabel {
                        objectName: "uploadTitle"
                        width: parent.width
                        text: view.upload.title || ""
                        font.pixelSize: 13
                        font.weight: Font.Bold
                        elide: Text.ElideMiddle
                        maximumLineCount: 1
                    }
                    Row {
                        objectName: "currentFileLine"
                        visible: view.upload.hasCurrentFile === true
                        width: parent.width
                        spacing: 6
                        PlainLabel {
                            objectName: "currentFileName"
                            width: Math.min(implicitWidth, parent.width - counter.width - 20)
                            text: view.upload.currentFileName || ""
                            color: Theme.white(0.72)
                            font.pixelSize: 12
                            elide: Text.ElideMiddle
                            maximumLineCount: 1
                        }
                        PlainLabel {
                            visible: (view.upload.fileCountText || "") !== ""
                            text: "•"
                            color: Theme.white(0.55)
                            font.pixelSize: 12
                            Accessible.ignored: true
                        }
                        PlainLabel {
                            id: counter
                            objectName: "fileCount"
                            text: view.upload.fileCountText || ""
                            color: Theme.white(0.72)
                            font.pixelSize: 12
                        }
                        Accessible.role: Accessible.StaticText
                        Accessible.name: view.upload.currentFileAccessibilityLabel || ""
                    }
                }
                Rectangle {
                    id: badge
                    anchors.right: parent.right
                    width: badgeText.implicitWidth + 18
                    height: badgeText.implicitHeight + 10
                    radius: height / 2
                    color: Theme.accentAt(0.12)
                    PlainLabel {
                        id: badgeText
                        anchors.centerIn: parent
                        text: qsTr("Uploading")
                        color: Theme.accent
                        font.pixelSize: 10
                    }
                }
            }

            Row {
                width: parent.width
                spacing: 10
                UploadProgressBar {
                    width: parent.width - 50
                    anchors.verticalCenter: parent.verticalCenter
                    progress: view.upload.progress || 0
                }
                PlainLabel {
                    objectName: "percentText"
                    width: 40
                    horizontalAlignment: Text.AlignRight
                    text: view.upload.percentText || "0%"
                    color: Theme.white(0.72)
                    font.pixelSize: 13
                }
                Accessible.role: Accessible.ProgressBar
                Accessible.name: qsTr("Upload progress")
                Accessible.description: qsTr("%1 percent").arg(view.upload.percent || 0)
            }
        }

        Row {
            width: parent.width
            topPadding: 2
            bottomPadding: 2
            readonly property real cellWidth: (width - 2) / 3
            TransferMetricView {
                width: parent.cellWidth
                title: qsTr("Transferred")
                accessibilityDescription: view.upload.transferredAccessibility || ""
                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 4
                    PlainLabel {
                        objectName: "transferredText"
                        text: view.upload.transferredText || ""
                        font.pixelSize: 13
                    }
                    PlainLabel {
                        anchors.baseline: parent.children[0].baseline
                        text: "/ " + (view.upload.totalText || "")
                        color: Theme.white(0.55)
                        font.pixelSize: 11
                    }
                }
            }
            MetricRule { anchors.verticalCenter: parent.verticalCenter }
            TransferMetricView {
                objectName: "timeLeft"
                width: parent.cellWidth
                title: qsTr("Time left")
                value: view.upload.timeLeftText || ""
            }
            MetricRule { anchors.verticalCenter: parent.verticalCenter }
            TransferMetricView {
                objectName: "speed"
                width: parent.cellWidth
                title: qsTr("Speed")
                value: view.upload.speedText || ""
            }
        }

        TavrelButton {
            objectName: "abortButton"
            visible: view.upload.showsAbort === true
            text: qsTr("Abort Mission")
            variant: "secondary"
            Accessible.description: qsTr("Stops the upload and returns to the selected files.")
            onClicked: view.abortUpload()
        }
    }
}
