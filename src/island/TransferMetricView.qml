import QtQuick
import Tavrel.Controls

// One cell of a row of figures: a caption over a value, read out as one description.
Item {
    id: cell

    property string title
    property string value
    property string accessibilityDescription: title + ", " + value
    // A value drawn by the caller in place of the plain text.
    default property alias valueContent: custom.data

    implicitHeight: column.implicitHeight + 16

    Column {
        id: column
        anchors.centerIn: parent
        width: parent.width
        spacing: 5
        PlainLabel {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: cell.title
            color: Theme.white(0.72)
            font.pixelSize: 10
            elide: Text.ElideRight
            maximumLineCount: 1
        }
        PlainLabel {
            objectName: "metricValue"
            width: parent.width
            visible: custom.children.length === 0
            horizontalAlignment: Text.AlignHCenter
            text: cell.value
            font.pixelSize: 13
            elide: Text.ElideRight
            maximumLineCount: 1
        }
        Item {
            id: custom
            width: parent.width
            height: childrenRect.height
            visible: children.length > 0
        }
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: accessibilityDescription
}
