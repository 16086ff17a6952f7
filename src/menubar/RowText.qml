import QtQuick
import Tavrel.Controls

// A row's title over its subtitle, each on one line.
Column {
    id: rowText
    property string title
    property string subtitle
    property color subtitleColor: Theme.white(0.72)

    spacing: 3

    PlainLabel {
        objectName: "title"
        width: rowText.width
        text: rowText.title
        font.pixelSize: 13
        font.weight: Font.Medium
        elide: Text.ElideMiddle
        maximumLineCount: 1
    }
    PlainLabel {
        objectName: "subtitle"
        width: rowText.width
        text: rowText.subtitle
        color: rowText.subtitleColor
        font.pixelSize: 10
        elide: Text.ElideRight
        maximumLineCount: 1
    }
}
