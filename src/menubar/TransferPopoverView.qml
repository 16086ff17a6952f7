import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Tavrel.Controls

// The whole popover: the header with "Upload Files" and the menu, the lists or the status panel,
// the drop overlay and the confirmations. Everything it does goes through its model.
FocusScope {
    id: root
    required property var model
    // Where file drags are checked and taken; none in previews.
    property var dropTarget: null

    width: model.contentWidth
    height: model.contentHeight
    focus: true

    Keys.onReturnPressed: root.model.pressReturn()
    Keys.onEnterPressed: root.model.pressReturn()
    Keys.onEscapePressed: root.model.pressEscape()
    Keys.onPressed: (event) => {
        if (event.key === Qt.Key_Q && (event.modifiers & Qt.ControlModifier)) {
            root.model.pressQuitShortcut()
            event.accepted = true
        }
    }

    // The focus rule, when the view is made and each time the popover shows again: with nothing
    // listed, "Upload Files" takes the focus.
    function focusUploadButtonIfIdle() {
        if (root.model.focusesUploadButtonOnAppear()) uploadButton.forceActiveFocus()
        else root.forceActiveFocus()
    }
    Component.onCompleted: focusUploadButtonIfIdle()
    Connections {
        target: root.model
        function onDidAppear() { root.focusUploadButtonIfIdle() }
    }

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    Column {
        id: mainColumn
        objectName: "mainColumn"
        anchors.fill: parent
        enabled: !root.model.isDropTargeted && root.model.confirmation.length === 0

        Rectangle {
            objectName: "header"
            width: parent.width
            height: 44
            color: Theme.white(0.075)

            T.AbstractButton {
                id: uploadButton
                objectName: "uploadFiles"
                anchors.left: parent.left
                anchors.leftMargin: 16
                anchors.verticalCenter: parent.verticalCenter
                implicitWidth: implicitContentWidth
                implicitHeight: 28
                focusPolicy: Qt.StrongFocus
                enabled: root.model.uploadFilesEnabled
                opacity: enabled ? 1 : 0.5
                text: qsTr("Upload Files")
                contentItem: Row {
                    spacing: 10
                    Rectangle {
                        width: 20
                        height: 20
                        radius: 8
                        color: Theme.accent
                        anchors.verticalCenter: parent.verticalCenter
                        SymbolImage { anchors.centerIn: parent; name: "plus"; color: Theme.black(1); size: 12 }
                    }
                    PlainLabel {
                        anchors.verticalCenter: parent.verticalCenter
                        text: uploadButton.text
                        font.pixelSize: 13
                        font.weight: Font.Medium
                    }
                }
                FocusRing { inset: -4 }
                onClicked: root.model.uploadFiles()
                HoverHandler { cursorShape: uploadButton.enabled ? Qt.PointingHandCursor : Qt.ArrowCursor }
                Accessible.role: Accessible.Button
                Accessible.name: qsTr("Choose files or folders")
                Accessible.onPressAction: Activation.activate(uploadButton)
                Keys.onReturnPressed: Activation.activate(uploadButton)
                Keys.onEnterPressed: Activation.activate(uploadButton)
            }

            T.AbstractButton {
                id: menuButton
                objectName: "menuButton"
                anchors.right: parent.right
                anchors.rightMargin: 16
                anchors.verticalCenter: parent.verticalCenter
                implicitWidth: 28
                implicitHeight: 28
                focusPolicy: Qt.StrongFocus
                contentItem: Item {
                    SymbolImage { anchors.centerIn: parent; name: "ellipsis"; color: Theme.white(0.72); size: 20 }
                }
                onClicked: root.model.openMenu(menuButton.mapToGlobal(0, menuButton.height + 4))
                HoverHandler { cursorShape: Qt.PointingHandCursor }
                FocusRing {}
                Accessible.role: Accessible.ButtonMenu
                Accessible.name: qsTr("Tavrel menu")
                Accessible.onPressAction: Activation.activate(menuButton)
                Keys.onReturnPressed: Activation.activate(menuButton)
                Keys.onEnterPressed: Activation.activate(menuButton)
            }

            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: Theme.white(0.08)
            }
        }

        Rectangle {
            objectName: "content"
            width: parent.width
            height: parent.height - 44
            color: Qt.rgba(0.05, 0.05, 0.05, 1)

            PopoverTransferList {
                objectName: "transferList"
                anchors.fill: parent
                visible: root.model.content === "transfers"
                popover: root.model
            }
            PopoverStatusPanel {
                objectName: "statusPanel"
                anchors.fill: parent
                visible: root.model.content !== "transfers"
                popover: root.model
            }
        }
    }

    DropArea {
        objectName: "dropArea"
        anchors.fill: parent
        keys: ["text/uri-list"]
        // Only ever a copy: a move the source proposes would let it delete what was sent.
        onEntered: (drag) => { drag.action = Qt.CopyAction; drag.accepted = root.dropTarget ? root.dropTarget.dragUpdated(drag.urls) : false }
        onPositionChanged: (drag) => { drag.action = Qt.CopyAction; drag.accepted = root.dropTarget ? root.dropTarget.dragUpdated(drag.urls) : false }
        onExited: if (root.dropTarget) root.dropTarget.dragEnded()
        onDropped: (drop) => {
            const taken = root.dropTarget ? root.dropTarget.dropped(drop.urls) : false
            if (taken) drop.accept(Qt.CopyAction)
            else drop.accepted = false
        }
    }

    Rectangle {
        objectName: "dropOverlay"
        anchors.fill: parent
        z: 2
        color: Theme.black(0.55)
        opacity: root.model.isDropTargeted ? 1 : 0
        visible: opacity > 0
        Behavior on opacity { NumberAnimation { duration: Motion.duration(0.14); easing.type: Easing.OutQuad } }
        PlainLabel {
            anchors.centerIn: parent
            text: qsTr("Drop to start a transfer")
            font.pixelSize: 13
            font.weight: Font.Medium
        }
        Accessible.role: Accessible.StaticText
        Accessible.name: qsTr("Drop to start a transfer")
    }

    Rectangle {
        id: confirmation
        objectName: "confirmation"
        anchors.fill: parent
        z: 3
        visible: root.model.confirmation.length > 0
        color: Theme.black(0.82)
        onVisibleChanged: if (visible) keepButton.forceActiveFocus()

        MouseArea { anchors.fill: parent }  // the panel under it takes no clicks meanwhile

        Column {
            anchors.centerIn: parent
            width: parent.width - 40
            spacing: 8

            PlainLabel {
                objectName: "confirmationTitle"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: root.model.confirmationTitle
                font.pixelSize: 13
                font.weight: Font.DemiBold
                wrapMode: Text.WordWrap
            }
            AccessibleLabel {
                objectName: "confirmationMessage"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: root.model.confirmationMessage
                color: Theme.white(0.72)
                font.pixelSize: 11
                wrapMode: Text.WordWrap
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 8
                TavrelButton {
                    id: keepButton
                    objectName: "confirmationCancel"
                    variant: "secondary"
                    implicitHeight: 28
                    text: root.model.confirmationCancelText
                    onClicked: root.model.dismissConfirmation()
                }
                TavrelButton {
                    objectName: "confirmationDestructive"
                    variant: "destructive"
                    implicitHeight: 28
                    text: root.model.confirmationDestructiveText
                    onClicked: root.model.confirm()
                }
            }
        }
        Accessible.role: Accessible.AlertMessage
        Accessible.name: root.model.confirmationTitle
    }
}
