pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls.Basic
import Tavrel.Controls

// The scroll container of the activity and recent sections.
Flickable {
    id: list
    required property var popover

    clip: true
    contentWidth: width
    contentHeight: sections.height
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar { policy: list.contentHeight > list.height ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff }

    // Scrolls the revealed row to the centre, when the reveal comes and when the list appears with
    // a reveal already set.
    function scrollToRevealed() {
        const row = list.popover.revealedRow
        if (row < 0) return
        const centre = 28 + 60 * row + 30
        const target = Math.max(0, Math.min(centre - list.height / 2, list.contentHeight - list.height))
        if (Motion.reduceMotion) {
            list.contentY = target
        } else {
            scrollAnimation.to = target
            scrollAnimation.restart()
        }
    }

    NumberAnimation {
        id: scrollAnimation
        target: list
        property: "contentY"
        duration: Motion.duration(0.2)
        easing.type: Easing.OutQuad
    }

    // A reveal set before the list appeared scrolls once the rows are laid out.
    Connections {
        target: list.popover
        function onRevealedRowChanged() { list.scrollToRevealed() }
    }
    onContentHeightChanged: scrollToRevealed()

    Column {
        id: sections
        objectName: "sections"
        width: list.width

        SectionHeader {
            objectName: "activityHeader"
            visible: list.popover.hasActivity
            width: parent.width
            //: The popover's section of transfers being prepared, sent, queued or failed.
            title: qsTr("Activity")
        }
        Repeater {
            model: list.popover.activity
            delegate: ActivityRow { popover: list.popover }
        }
        SectionHeader {
            objectName: "recentHeader"
            visible: list.popover.hasRecent
            width: parent.width
            //: The popover's section of the account's latest sent transfers.
            title: qsTr("Recent")
            trailingTitle: qsTr("View All")
            onTrailingClicked: list.popover.viewAllTransfers()
        }
        Repeater {
            model: list.popover.recent
            delegate: RecentRow { popover: list.popover }
        }
    }
}
