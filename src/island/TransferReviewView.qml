import QtQuick
import Tavrel.Controls
import Tavrel.Island

// The expanded island while a selection is under review: name and size, a carousel of the items
// with previous and next, a drop tile while a drag hovers, and clear and start.
Item {
    id: view

    property var review: ({})
    property bool isDropTargeted: false
    property TransferIslandViewModel model
    signal startTransfer()
    signal clearSelection()

    readonly property var items: review.items || []
    // The carousel entry at the leading edge: "" (none yet), "placeholder", or an item's path.
    property string scrollPosition: ""
    readonly property real carouselWidth: carousel.width
    readonly property int lastScrollIndex: model ? model.carouselLastScrollIndex(items.length, carouselWidth) : 0
    readonly property int currentIndex: {
        for (let i = 0; i < items.length; ++i) {
            if (items[i].url === scrollPosition) return i
        }
        return lastScrollIndex
    }
    property var previousURLs: []
    property bool appeared: false

    function indexOf(url) {
        for (let i = 0; i < items.length; ++i) {
            if (items[i].url === url) return i
        }
        return -1
    }
    function offsetOf(target) {
        // From the item count rather than the row, which lays itself out later.
        const content = items.length * 98 - 8 + (isDropTargeted ? 98 : 0)
        const end = Math.max(content - carousel.width, 0)
        if (target === "placeholder") return end
        const index = indexOf(target)
        return index < 0 ? 0 : Math.min(index * 98, end)
    }
    function scrollTo(target, animated) {
        scrollPosition = target
        scroller.stop()
        const offset = offsetOf(target)
        if (animated && !Motion.reduceMotion) {
            scroller.to = offset
            scroller.start()
        } else {
            carousel.contentX = offset
        }
    }
    function scrollToIndex(index) {
        if (index >= 0 && index < items.length) scrollTo(items[index].url, true)
    }
    // After a hand scroll: the card nearest the leading edge (the last reachable one at the end)
    // becomes the position, and the row snaps to it.
    function settleHandScroll() {
        if (items.length === 0) return
        const end = offsetOf("placeholder")
        let index = carousel.contentX >= end - 0.5 ? lastScrollIndex : Math.round(carousel.contentX / 98)
        index = Math.max(0, Math.min(index, items.length - 1))
        scrollTo(items[index].url, true)
    }
    function scrollToEnd() {
        if (isDropTargeted) scrollTo("placeholder", true)
        else if (items.length > 0) scrollTo(items[items.length - 1].url, true)
    }

    Component.onCompleted: {
        appeared = true
        previousURLs = items.map(entry => entry.url)
        if (scrollPosition === "" && items.length > 0) scrollTo(items[0].url, false)
    }
    onItemsChanged: {
        if (!appeared) return
        const old = previousURLs
        previousURLs = items.map(entry => entry.url)
        if (old.length === 0 && scrollPosition === "") {
            // The first items the page receives: it appears at the first one.
            if (items.length > 0) scrollTo(items[0].url, false)
            if (isDropTargeted) scrollLater.restart()
        } else if (items.length > old.length) {
            scrollLater.restart()
        } else if (scrollPosition === "placeholder") {
            scrollLater.restart()
        } else if (scrollPosition === "" || indexOf(scrollPosition) < 0) {
            scrollTo(items.length > 0 ? items[0].url : "", false)
            scrollLater.restart()
        }
    }
    onIsDropTargetedChanged: scrollLater.restart()
    // A change of the drop highlight scrolls once the placeholder has come or gone.
    Timer {
        id: scrollLater
        interval: 0
        onTriggered: view.scrollToEnd()
    }

    Column {
        anchors.fill: parent
        anchors.leftMargin: 44
        anchors.rightMargin: 44
        anchors.bottomMargin: 44
        spacing: 16

        Item {
            width: parent.width
            height: nameColumn.implicitHeight

            Column {
                id: nameColumn
                anchors.left: parent.left
                anchors.right: summary.left
                anchors.rightMargin: 8
                anchors.bottom: parent.bottom
                spacing: 2
                PlainLabel {
                    text: qsTr("Transfer name")
                    color: Theme.white(0.72)
                    font.pixelSize: 10
                }
                PlainLabel {
                    objectName: "reviewName"
                    width: parent.width
                    text: view.review.displayName || ""
                    font.pixelSize: 13
                    font.weight: Font.Bold
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                }
                PlainLabel {
                    objectName: "reviewProblem"
                    width: parent.width
                    visible: text !== ""
                    text: view.review.problemMessage || ""
                    color: Theme.red
                    font.pixelSize: 10
                    elide: Text.ElideRight
                    maximumLineCount: 1
                    ToolTipArea { text: parent.text }
                }
            }
            Row {
                id: summary
                objectName: "reviewSummary"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                spacing: 8
                PlainLabel {
                    objectName: "reviewSize"
                    text: view.review.sizeText || ""
                    color: Theme.white(0.72)
                    font.pixelSize: 13
                }
                Rectangle {
                    width: 4; height: 4; radius: 2
                    anchors.verticalCenter: parent.verticalCenter
                    color: Theme.white(0.72)
                }
                PlainLabel {
                    objectName: "reviewCount"
                    text: view.review.summaryText || ""
                    color: Theme.white(0.72)
                    font.pixelSize: 13
                }
                Accessible.role: Accessible.StaticText
                Accessible.name: (view.review.sizeText || "") + ", " + (view.review.summaryText || "")
            }
        }

        Item {
            width: parent.width
            height: 90

            Flickable {
                id: carousel
                objectName: "carousel"
                anchors.fill: parent
                clip: true
                contentWidth: cards.width
                contentHeight: 90
                flickableDirection: Flickable.HorizontalFlick
                boundsBehavior: Flickable.StopAtBounds
                onMovementStarted: scroller.stop()
                onMovementEnded: view.settleHandScroll()

                Row {
                    id: cards
                    spacing: 8
                    Repeater {
                        model: view.items
                        TransferItemCard {
                            required property var modelData
                            item: modelData
                        }
                    }
                    DropAppendPlaceholder {
                        objectName: "dropPlaceholder"
                        visible: view.isDropTargeted
                        opacity: view.isDropTargeted ? 1 : 0
                        Behavior on opacity { NumberAnimation { duration: Motion.duration(0.18) } }
                    }
                }
                NumberAnimation {
                    id: scroller
                    target: carousel
                    property: "contentX"
                    duration: 180
                    easing.type: Easing.OutQuad
                }
            }
            CarouselControl {
                anchors.left: parent.left
                visible: view.lastScrollIndex >= 1 && view.currentIndex >= 1
                leading: true
                systemImage: "chevron.left"
                accessibilityLabel: qsTr("Previous selected item")
                onActivated: view.scrollToIndex(view.currentIndex - 1)
            }
            CarouselControl {
                anchors.right: parent.right
                visible: view.currentIndex < view.lastScrollIndex
                leading: false
                systemImage: "chevron.right"
                accessibilityLabel: qsTr("Next selected item")
                onActivated: view.scrollToIndex(view.currentIndex + 1)
            }
        }

        Row {
            width: parent.width
            height: 36
            spacing: 8
            readonly property real usable: Math.max(width - 8, 0)
            TavrelButton {
                objectName: "clearButton"
                width: parent.usable / 3
                text: view.review.clearTitle || qsTr("Clear All")
                variant: "secondary"
                onClicked: view.clearSelection()
            }
            TavrelButton {
                objectName: "startButton"
                width: parent.usable * 2 / 3
                text: view.review.startTitle || qsTr("Start Transfer")
                variant: "primary"
                enabled: view.review.startEnabled === true
                Accessible.description: view.review.startHint || ""
                onClicked: view.startTransfer()
            }
        }
    }

}
