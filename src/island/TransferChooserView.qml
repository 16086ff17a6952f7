import QtQuick
import Tavrel.Controls

// The expanded island's page for starting a transfer: a title over a dashed drop zone with a
// button for files and one for a folder.
Item {
    id: view

    property bool isDropTargeted: false
    signal selectFiles()
    signal selectFolder()
    // The account defaults: no control of this page sends it; its owner wires it all the same.
    signal viewAccountDefaults()

    Column {
        anchors.fill: parent
        anchors.leftMargin: 44
        anchors.rightMargin: 44
        anchors.bottomMargin: 44
        spacing: 16

        PlainLabel {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Start a new transfer")
            font.pixelSize: 14
            font.weight: Font.Medium
        }

        Item {
            id: zone
            objectName: "dropZone"
            width: parent.width
            height: parent.height - y
            readonly property color strokeColor: view.isDropTargeted ? Theme.accent : Theme.white(0.2)
            readonly property real strokeWidth: view.isDropTargeted ? 1.5 : 1

            Rectangle {
                anchors.fill: parent
                radius: 6
                color: view.isDropTargeted ? Theme.accentAt(0.12) : Theme.white(0.1)
                Behavior on color { ColorAnimation { duration: Motion.duration(0.14); easing.type: Easing.OutQuad } }
            }
            DashedRoundedRectangle {
                anchors.fill: parent
                strokeColor: zone.strokeColor
                strokeWidth: zone.strokeWidth
            }
            Column {
                anchors.centerIn: parent
                spacing: 10
                PlainLabel {
                    objectName: "dropPrompt"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: view.isDropTargeted ? qsTr("Drop here") : qsTr("Drag your files or folders here")
                    color: view.isDropTargeted ? Theme.accent : Theme.white(0.72)
                    font.pixelSize: 12
                }
                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 14
                    ChooserActionControl {
                        objectName: "addFiles"
                        text: qsTr("Add files")
                        systemImage: "paperclip"
                        onClicked: view.selectFiles()
                    }
                    ChooserActionControl {
                        objectName: "addFolder"
                        text: qsTr("Add folder")
                        systemImage: "folder"
                        onClicked: view.selectFolder()
                    }
                }
            }
        }
    }
}
