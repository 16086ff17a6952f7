import QtQuick
import QtQuick.Controls.Basic
import Tavrel.Controls
import Tavrel.Share

// One shared item: its thumbnail (or icon), its name, a type badge and its size. One element for
// accessibility.
Item {
    id: row

    property ShareSheetViewModel sheet
    property string displayName
    property string filePath
    property string typeBadge
    property string sizeText
    property bool wantsThumbnail
    property string iconName
    property string genericIconName
    // The system's secondary, tertiary and quaternary styles on the dark sheet.
    readonly property color secondaryColor: Theme.white(0.55)
    readonly property color tertiaryColor: Theme.white(0.3)
    readonly property color badgeFill: Theme.white(0.1)

    implicitHeight: 52
    height: 52

    Accessible.role: Accessible.ListItem
    Accessible.name: row.sizeText.length > 0 ? row.displayName + ", " + row.typeBadge + ", " + row.sizeText
                                             : row.displayName + ", " + row.typeBadge

    Row {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.leftMargin: 20
        anchors.rightMargin: 20
        anchors.verticalCenter: parent.verticalCenter
        spacing: 12

        ShareItemThumbnail {
            objectName: "thumbnail"
            anchors.verticalCenter: parent.verticalCenter
            width: 40
            height: 40
            sheet: row.sheet
            filePath: row.filePath
            iconName: row.iconName
            genericIconName: row.genericIconName
            wantsThumbnail: row.wantsThumbnail
            displayScale: Screen.devicePixelRatio
            Accessible.ignored: true
        }

        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - 40 - 12
            spacing: 5

            PlainLabel {
                objectName: "name"
                width: Math.min(implicitWidth, parent.width)
                text: row.displayName
                color: "white"
                font.pixelSize: 13
                font.weight: Font.Medium
                elide: Text.ElideMiddle
                maximumLineCount: 1

                HoverHandler { id: nameHover }
                ToolTip.visible: nameHover.hovered
                ToolTip.delay: 800
                ToolTip.text: row.displayName
            }

            Row {
                spacing: 6

                Rectangle {
                    anchors.verticalCenter: parent.verticalCenter
                    width: badgeLabel.implicitWidth + 10
                    height: badgeLabel.implicitHeight + 4
                    radius: 4
                    color: row.badgeFill
                    PlainLabel {
                        id: badgeLabel
                        objectName: "badge"
                        anchors.centerIn: parent
                        text: row.typeBadge
                        color: row.secondaryColor
                        font.pixelSize: 9
                        font.weight: Font.DemiBold
                    }
                }
                PlainLabel {
                    visible: row.sizeText.length > 0
                    anchors.verticalCenter: parent.verticalCenter
                    text: "·"
                    color: row.tertiaryColor
                    font.pixelSize: 11
                }
                PlainLabel {
                    objectName: "size"
                    visible: row.sizeText.length > 0
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.sizeText
                    color: row.secondaryColor
                    font.pixelSize: 11
                }
            }
        }
    }
}
