import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Tavrel.Controls

// One recent transfer: opens its page when clicked, and copies its link from the strip.
Item {
    id: row
    required property var popover
    required property string transferID
    required property string title
    required property string subtitle
    required property string symbolName
    required property string accessibilityLabel
    required property string helpText
    required property bool canCopy
    required property bool isCopied
    required property string copyText
    required property string copySymbol

    objectName: "recentRow-" + transferID
    width: parent ? parent.width : 320
    height: 52

    HoverHandler { id: hover }

    T.AbstractButton {
        id: body
        objectName: "recentRowButton"
        anchors.fill: parent
        hoverEnabled: true
        focusPolicy: Qt.StrongFocus
        onClicked: row.popover.viewRecentTransfer(row.transferID)
        ToolTip.visible: hovered && !copyButton.hovered
        ToolTip.delay: 800
        ToolTip.text: row.helpText

        contentItem: Item {
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
                    SymbolImage {
                        anchors.centerIn: parent
                        name: row.symbolName
                        color: Theme.white(0.72)
                        size: 18
                    }
                }
                RowText {
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - 26 - 10 - 4
                    title: row.title
                    subtitle: row.subtitle
                }
            }
        }
        background: Rectangle { color: body.hovered ? Theme.white(0.03) : "transparent" }
        HoverHandler { cursorShape: Qt.PointingHandCursor }
        FocusRing { inset: 2 }
        Accessible.role: Accessible.Button
        Accessible.name: row.accessibilityLabel
        Accessible.onPressAction: Activation.activate(body)
        Keys.onReturnPressed: Activation.activate(body)
        Keys.onEnterPressed: Activation.activate(body)
    }

    TrailingStrip {
        objectName: "copyStrip"
        shown: hover.hovered || copyButton.activeFocus

        RowActionButton {
            id: copyButton
            objectName: "copyButton"
            text: row.copyText
            systemImage: row.copySymbol
            enabled: row.canCopy
            onClicked: row.popover.copyRecentLink(row.transferID)
        }
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: Theme.white(0.08)
    }
}
