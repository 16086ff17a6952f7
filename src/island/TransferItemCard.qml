import QtQuick
import Tavrel.Controls
import Tavrel.Island

// One tile of the review carousel: the item's thumbnail with its name over a dark fade once there
// is one; until then (and for folders and files without a preview) its icon with the name beneath.
Item {
    id: card

    // { url, displayName, isFolder, isVideo, wantsThumbnail, symbol, accessibilityLabel, island }; the
    // island is where the card's thumbnail loader comes from.
    property var item: ({})
    readonly property bool showsThumbnail: thumbnail.hasThumbnail

    objectName: "itemCard:" + (item.displayName || "")
    width: 90
    height: 90
    clip: true

    TransferItemCardModel {
        id: thumbnail
        island: card.item.island || null
        url: card.item.url || ""
        wantsThumbnail: !!card.item.wantsThumbnail
        displayScale: Screen.devicePixelRatio
    }

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: Theme.white(0.1)
    }

    Item {
        objectName: "thumbnailFace"
        anchors.fill: parent
        opacity: card.showsThumbnail ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: Motion.duration(0.16); easing.type: Easing.OutQuad } }

        Image {
            objectName: "thumbnailImage"
            anchors.fill: parent
            source: thumbnail.thumbnailSource
            fillMode: Image.PreserveAspectCrop
            smooth: true
            mipmap: true
            cache: false
        }
        // The play badge: a white triangle on a dark translucent disc.
        Item {
            objectName: "playBadge"
            visible: !!card.item.isVideo
            anchors.centerIn: parent
            width: 28
            height: 28
            SymbolImage {
                y: 1
                name: "play.circle.fill"
                color: Theme.black(0.35)
                size: 28
            }
            SymbolImage {
                name: "play.circle.fill"
                color: Theme.black(0.55)
                size: 28
            }
            Canvas {
                anchors.fill: parent
                onPaint: {
                    const context = getContext("2d")
                    context.reset()
                    context.fillStyle = "white"
                    context.beginPath()
                    context.moveTo(10.85, 8.05)
                    context.lineTo(20.3, 14)
                    context.lineTo(10.85, 19.95)
                    context.closePath()
                    context.fill()
                }
            }
        }
        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 42
            radius: 6
            gradient: Gradient {
                GradientStop { position: 0; color: "transparent" }
                GradientStop { position: 1; color: Theme.black(0.82) }
            }
            PlainLabel {
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.leftMargin: 8
                anchors.rightMargin: 8
                anchors.bottomMargin: 7
                text: card.item.displayName || ""
                color: "white"
                font.pixelSize: 10
                elide: Text.ElideMiddle
                maximumLineCount: 1
            }
        }
    }

    Column {
        objectName: "iconFace"
        anchors.fill: parent
        anchors.margins: 8
        spacing: 8
        opacity: card.showsThumbnail ? 0 : 1
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: Motion.duration(0.16); easing.type: Easing.OutQuad } }
        // The desktop's own icon for the file's type.
        Image {
            objectName: "fileIcon"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 42
            height: 42
            source: card.item.iconSource || ""
            sourceSize.width: Math.ceil(42 * Screen.devicePixelRatio)
            sourceSize.height: Math.ceil(42 * Screen.devicePixelRatio)
            fillMode: Image.PreserveAspectFit
            smooth: true
            mipmap: true
            Accessible.ignored: true
        }
        PlainLabel {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: card.item.displayName || ""
            font.pixelSize: 10
            elide: Text.ElideMiddle
            maximumLineCount: 1
        }
    }
    Accessible.role: Accessible.StaticText
    Accessible.name: item.accessibilityLabel || ""
}
