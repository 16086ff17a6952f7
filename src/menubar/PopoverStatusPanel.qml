import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Tavrel.Controls

// What the popover shows when nothing is listed: the drop invitation, the sign-in states, the
// recent list's placeholders or the completion banner.
Item {
    id: panel
    required property var popover
    readonly property string content: popover.content
    readonly property string status: popover.accessStatus

    component LinkButton: T.AbstractButton {
        id: link
        property color tint: Theme.accent
        property int pixelSize: 12
        property int weight: Font.Medium
        implicitWidth: implicitContentWidth
        implicitHeight: implicitContentHeight + 4
        focusPolicy: Qt.StrongFocus
        contentItem: PlainLabel {
            text: link.text
            color: link.tint
            font.pixelSize: link.pixelSize
            font.weight: link.weight
        }
        HoverHandler { cursorShape: Qt.PointingHandCursor }
        // Wider than the bare word, so the ring does not touch its letters; the layout is unchanged.
        FocusRing { anchors.leftMargin: -5; anchors.rightMargin: -5 }
        Accessible.role: Accessible.Button
        Accessible.name: text
        Accessible.onPressAction: Activation.activate(link)
        Keys.onReturnPressed: Activation.activate(link)
        Keys.onEnterPressed: Activation.activate(link)
    }

    Column {
        objectName: "loadingRecent"
        visible: panel.content === "loadingRecent"
        anchors.centerIn: parent
        spacing: 10
        ActivitySpinner { anchors.horizontalCenter: parent.horizontalCenter; size: 18 }
        PlainLabel { text: qsTr("Loading recent transfers…"); color: Theme.white(0.72); font.pixelSize: 12; font.weight: Font.Medium }
        Accessible.role: Accessible.StaticText
        Accessible.name: qsTr("Loading recent transfers…")
    }

    Column {
        objectName: "recentError"
        visible: panel.content === "recentError"
        anchors.centerIn: parent
        spacing: 10
        SymbolImage { anchors.horizontalCenter: parent.horizontalCenter; name: "exclamationmark.arrow.trianglehead.2.clockwise.rotate.90"; color: Theme.white(0.72); size: 20 }
        AccessibleLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Couldn’t load recent transfers"); font.pixelSize: 13; font.weight: Font.Medium }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 12
            LinkButton { objectName: "retryRecent"; text: qsTr("Retry"); onClicked: panel.popover.retryRecentTransfers() }
            LinkButton { objectName: "viewAll"; text: qsTr("View All"); tint: Theme.white(0.72); onClicked: panel.popover.viewAllTransfers() }
        }
    }

    Column {
        objectName: "completionBanner"
        visible: panel.content === "completed"
        anchors.centerIn: parent
        width: parent.width - 32
        spacing: 8
        SymbolImage { anchors.horizontalCenter: parent.horizontalCenter; name: "checkmark.circle.fill"; color: Theme.green; size: 24 }
        PlainLabel {
            objectName: "completedTitle"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: panel.popover.completedTitle
            font.pixelSize: 13
            font.weight: Font.Medium
            elide: Text.ElideMiddle
        }
        PlainLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Transfer complete"); color: Theme.white(0.72); font.pixelSize: 11 }
        Accessible.role: Accessible.StaticText
        Accessible.name: qsTr("%1, transfer complete").arg(panel.popover.completedTitle)
    }

    Item {
        anchors.fill: parent
        anchors.leftMargin: 16
        anchors.rightMargin: 16
        visible: panel.content === "status"

        Column {
            objectName: "readyPanel"
            visible: panel.status === "ready"
            anchors.centerIn: parent
            spacing: 5
            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                source: "image://asset/EmptyUploadImage"
                sourceSize.width: 130
                sourceSize.height: 130
                width: 130
                height: 130
                fillMode: Image.PreserveAspectFit
                Accessible.ignored: true
            }
            Item { width: 1; height: 3 }
            AccessibleLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Drop files or folders here"); font.pixelSize: 14; font.weight: Font.Medium }
            AccessibleLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("or click Upload Files"); color: Theme.white(0.75); font.pixelSize: 12; font.weight: Font.Medium }
        }

        Column {
            objectName: "restoringPanel"
            visible: panel.status === "restoring"
            anchors.centerIn: parent
            spacing: 8
            ActivitySpinner { anchors.horizontalCenter: parent.horizontalCenter; size: 18 }
            PlainLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Connecting to Tavrel…"); font.pixelSize: 13; font.weight: Font.Medium }
            PlainLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Restoring your sign-in."); color: Theme.white(0.72); font.pixelSize: 11 }
            Accessible.role: Accessible.StaticText
            Accessible.name: qsTr("Connecting to Tavrel")
            Accessible.description: qsTr("Restoring your sign-in.")
        }

        Column {
            objectName: "signedOutPanel"
            visible: panel.status === "signedOut"
            anchors.centerIn: parent
            spacing: 8
            AccessibleLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Sign in to Tavrel"); font.pixelSize: 13; font.weight: Font.Medium }
            LinkButton { objectName: "signIn"; anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Sign In"); pixelSize: 13; onClicked: panel.popover.signIn() }
        }

        Column {
            objectName: "authorizingPanel"
            visible: panel.status === "authorizing"
            anchors.centerIn: parent
            spacing: 8
            ActivitySpinner { anchors.horizontalCenter: parent.horizontalCenter; size: 18 }
            PlainLabel { anchors.horizontalCenter: parent.horizontalCenter; text: qsTr("Finish signing in through your browser."); color: Theme.white(0.72); font.pixelSize: 12; font.weight: Font.Medium }
            Accessible.role: Accessible.StaticText
            Accessible.name: qsTr("Finish signing in through your browser.")
        }

        Column {
            objectName: "unavailablePanel"
            visible: panel.status === "unavailable"
            anchors.centerIn: parent
            width: parent.width
            spacing: 6
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 8
                SymbolImage { name: "wifi.exclamationmark"; color: "#ffd60a"; size: 14; anchors.verticalCenter: parent.verticalCenter }
                AccessibleLabel { text: qsTr("Can’t connect to Tavrel"); font.pixelSize: 13; font.weight: Font.DemiBold }
            }
            AccessibleLabel {
                objectName: "unavailableMessage"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: panel.popover.unavailableMessage
                color: Theme.white(0.72)
                font.pixelSize: 11
                wrapMode: Text.WordWrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
            LinkButton {
                objectName: "retryConnection"
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Retry")
                weight: Font.DemiBold
                Accessible.description: qsTr("Attempts to reconnect to Tavrel")
                onClicked: panel.popover.retryConnection()
            }
        }

        Row {
            objectName: "sendingUnavailablePanel"
            visible: panel.status === "sendingUnavailable"
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width
            spacing: 10
            SymbolImage { name: "exclamationmark.triangle.fill"; color: "#ffd60a"; size: 16 }
            Column {
                spacing: 3
                width: parent.width - 26
                AccessibleLabel { text: qsTr("Sending unavailable"); font.pixelSize: 14; font.weight: Font.DemiBold }
                AccessibleLabel { width: parent.width; text: qsTr("Your workspace doesn’t currently allow transfers."); color: Theme.white(0.72); font.pixelSize: 11; wrapMode: Text.WordWrap }
            }
        }
    }
}
