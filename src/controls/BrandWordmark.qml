import QtQuick

// The product mark with the product word beside it.
Row {
    id: wordmark

    property real glyphSize: 18
    property font titleFont: Qt.font({ pixelSize: 13, weight: Font.DemiBold })
    property string subtitle
    property bool markOnly: false
    property color color: "white"

    spacing: 9

    Item {
        objectName: "mark"
        width: wordmark.glyphSize
        height: wordmark.glyphSize
        anchors.verticalCenter: parent.verticalCenter
        Accessible.ignored: true

        // A template image: only its shape counts; it takes the surrounding colour.
        Image {
            anchors.fill: parent
            source: "image://asset/MenuBarMark?" + wordmark.color.toString()
            sourceSize.width: Math.ceil(wordmark.glyphSize * Screen.devicePixelRatio)
            sourceSize.height: Math.ceil(wordmark.glyphSize * Screen.devicePixelRatio)
            fillMode: Image.PreserveAspectFit
            smooth: true
        }
    }

    Column {
        visible: !wordmark.markOnly
        anchors.verticalCenter: parent.verticalCenter
        spacing: 1

        PlainLabel {
            id: titleLabel
            objectName: "title"
            text: "Tavrel"
            font: wordmark.titleFont
            color: wordmark.color
        }
        PlainLabel {
            id: subtitleLabel
            objectName: "subtitle"
            visible: wordmark.subtitle.length > 0
            text: wordmark.subtitle
            font.pixelSize: 10
            color: Theme.white(0.55)
        }
    }

    // The mark and its words are one element, read as the words.
    Accessible.role: Accessible.StaticText
    Accessible.name: markOnly ? titleLabel.text
                   : subtitleLabel.visible ? titleLabel.text + ", " + subtitleLabel.text : titleLabel.text
}
