import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Tavrel.Controls

// One transfer of the activity list: preparing, ready, uploading, queued or failed, with the
// controls its phase offers.
Item {
    id: row
    required property var popover
    required property string itemID
    required property string kind
    required property string title
    required property string subtitle
    required property string accessibilityLabel
    required property int percent
    required property real progress
    required property string actionText
    required property bool actionEnabled
    required property bool isRevealed

    readonly property bool isHovered: hover.hovered
    readonly property string leadingGlyph: kind === "ready" ? "checkmark.circle.fill"
                                         : kind === "queued" ? "clock" : "exclamationmark.circle.fill"
    readonly property string actionGlyph: kind === "failed" ? "arrow.clockwise" : "xmark"
    readonly property bool actionFocused: actionButton.activeFocus || startButton.activeFocus || readyCancel.activeFocus

    objectName: "activityRow-" + kind
    width: parent ? parent.width : 320
    height: 60

    Rectangle {
        objectName: "revealHighlight"
        anchors.fill: parent
        color: row.isRevealed ? Theme.accentAt(0.12) : "transparent"
    }

    HoverHandler { id: hover }

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10

        Item {
            width: 26
            height: 26
            anchors.verticalCenter: parent.verticalCenter

            ActivitySpinner {
                visible: row.kind === "preparing"
                anchors.centerIn: parent
                size: 16
            }
            SymbolImage {
                visible: row.kind === "ready" || row.kind === "queued" || row.kind === "failed"
                anchors.centerIn: parent
                size: 18
                name: row.leadingGlyph
                color: row.kind === "ready" ? Theme.green : row.kind === "queued" ? Theme.white(0.55) : Theme.red
            }
            Item {
                objectName: "progressBadge"
                visible: row.kind === "uploading"
                anchors.fill: parent
                Accessible.ignored: true
                UploadProgressRing {
                    // The row's label carries the percent; the badge is not read on its own.
                    announced: false
                    anchors.centerIn: parent
                    progress: row.progress
                    size: 26
                    lineWidth: 2
                    showsPercentage: false
                }
                PlainLabel {
                    objectName: "percent"
                    anchors.centerIn: parent
                    text: String(row.percent)
                    font.pixelSize: 8
                }
            }
        }

        RowText {
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width - 26 - 10 - 4
            title: row.title
            subtitle: row.subtitle
            subtitleColor: row.kind === "failed" ? Theme.red : Theme.white(0.72)
        }
    }

    TrailingStrip {
        objectName: "trailingActions"
        visible: row.kind !== "ready"
        shown: row.kind !== "ready" && (row.isHovered || row.actionFocused)

        RowActionButton {
            id: actionButton
            objectName: "actionButton"
            text: row.actionText
            systemImage: row.actionGlyph
            symbolSize: row.kind === "failed" ? 12 : 11
            enabled: row.actionEnabled
            tint: row.kind !== "failed" && hovered && enabled ? Theme.red : Theme.white(0.72)
            onClicked: row.kind === "failed" ? row.popover.retryItem(row.itemID) : row.popover.cancelItem(row.itemID)
        }
    }

    TrailingStrip {
        objectName: "readyActions"
        visible: row.kind === "ready"
        shown: row.kind === "ready"

        T.AbstractButton {
            id: readyCancel
            objectName: "readyCancel"
            text: qsTr("Cancel")
            height: 28
            implicitWidth: implicitContentWidth + 8
            focusPolicy: Qt.StrongFocus
            contentItem: PlainLabel {
                text: readyCancel.text
                color: Theme.white(0.72)
                font.pixelSize: 11
                font.weight: Font.Medium
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: row.popover.cancelItem(row.itemID)
            HoverHandler { cursorShape: Qt.PointingHandCursor }
            FocusRing {}
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.onPressAction: Activation.activate(readyCancel)
            // Return acts on the focused button itself, never on the popover's default action.
            Keys.onReturnPressed: Activation.activate(readyCancel)
            Keys.onEnterPressed: Activation.activate(readyCancel)
        }
        T.AbstractButton {
            id: startButton
            objectName: "startButton"
            //: Starts sending the reviewed transfer.
            text: qsTr("Start")
            height: 28
            implicitWidth: implicitContentWidth + 8
            focusPolicy: Qt.StrongFocus
            contentItem: PlainLabel {
                text: startButton.text
                color: Theme.accent
                font.pixelSize: 11
                font.weight: Font.DemiBold
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            onClicked: row.popover.startTransfer()
            HoverHandler { cursorShape: Qt.PointingHandCursor }
            FocusRing {}
            Accessible.role: Accessible.Button
            Accessible.name: text
            Accessible.onPressAction: Activation.activate(startButton)
            Keys.onReturnPressed: Activation.activate(startButton)
            Keys.onEnterPressed: Activation.activate(startButton)
        }
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: Theme.white(0.08)
    }

    // One element per row under one label; its buttons stay reachable inside it. The subtitle is
    // its description, so the row's figures and messages are heard too.
    Accessible.role: row.kind === "ready" || row.kind === "failed" ? Accessible.Grouping : Accessible.StaticText
    Accessible.name: row.accessibilityLabel
    Accessible.description: row.subtitle
}
