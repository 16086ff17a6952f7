import QtQuick
import Tavrel.Controls

// The expanded island after a transfer completed: the confirmation with copy and view, four
// figures, and the ways on.
Item {
    id: view

    property var completion: ({})
    signal copyLink()
    signal viewTransfer()
    signal done()
    signal sendMore()

    Column {
        anchors.fill: parent
        anchors.leftMargin: 44
        anchors.rightMargin: 44
        anchors.bottomMargin: 20
        spacing: 12

        Item {
            objectName: "completionHeader"
            width: parent.width
            height: 50

            SymbolImage {
                id: check
                anchors.verticalCenter: parent.verticalCenter
                name: "checkmark.circle.fill"
                color: Theme.green
                size: 42
            }
            Column {
                anchors.left: check.right
                anchors.leftMargin: 12
                anchors.right: actions.left
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                spacing: 2
                PlainLabel {
                    text: qsTr("Transfer Completed")
                    font.pixelSize: 13
                    font.weight: Font.Bold
                }
                PlainLabel {
                    objectName: "completedTitle"
                    width: parent.width
                    text: view.completion.title || ""
                    color: Theme.white(0.72)
                    font.pixelSize: 10
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                }
            }
            Row {
                id: actions
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 12
                TavrelIconButton {
                    objectName: "copyButton"
                    systemImage: view.completion.copySymbol || "square.on.square"
                    text: view.completion.copyText || qsTr("Copy Link")
                    enabled: view.completion.copied !== true
                    Accessible.description: qsTr("Copies the public transfer link to the clipboard.")
                    onClicked: view.copyLink()
                }
                TavrelIconButton {
                    objectName: "viewButton"
                    systemImage: "arrow.up.forward"
                    //: Opens the sent transfer's page in the web browser.
                    text: qsTr("View")
                    onClicked: view.viewTransfer()
                }
            }
            Accessible.role: Accessible.Grouping
            Accessible.name: view.completion.accessibilityLabel || ""
        }

        Row {
            width: parent.width
            readonly property real cellWidth: (width - 3) / 4
            TransferMetricView {
                objectName: "filesMetric"
                width: parent.cellWidth
                //: How many files the sent transfer holds.
                title: qsTr("Files")
                value: view.completion.filesText || ""
            }
            MetricRule { anchors.verticalCenter: parent.verticalCenter }
            TransferMetricView { objectName: "sizeMetric"; width: parent.cellWidth; title: qsTr("Total size"); value: view.completion.totalSizeText || "" }
            MetricRule { anchors.verticalCenter: parent.verticalCenter }
            TransferMetricView {
                objectName: "expiryMetric"
                width: parent.cellWidth
                //: Time until the sent transfer's link stops working.
                title: qsTr("Expires In")
                value: view.completion.expiresText || ""
            }
            MetricRule { anchors.verticalCenter: parent.verticalCenter }
            TransferMetricView {
                objectName: "previewMetric"
                width: parent.cellWidth
                //: Whether recipients see previews of the files.
                title: qsTr("Preview")
                value: view.completion.previewText || ""
            }
        }

        Row {
            spacing: 8
            TavrelButton {
                objectName: "doneButton"
                width: 120
                text: qsTr("Done")
                variant: "secondary"
                onClicked: view.done()
            }
            TavrelButton {
                objectName: "sendMoreButton"
                width: 120
                text: qsTr("Send More")
                variant: "primary"
                onClicked: view.sendMore()
            }
        }
    }
}
