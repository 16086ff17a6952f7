import QtQuick
import QtQuick.Controls.Basic
import Tavrel.Controls
import Tavrel.Share

// The share sheet: a header, a middle section that follows the share model's state (loading, the
// shared items, a failure) and the button row. Every button calls one operation of the view model;
// a change of state redraws at once, without animation or transition.
Item {
    id: root

    required property ShareSheetViewModel viewModel
    readonly property string phase: viewModel.phase

    // The system's secondary, tertiary and quaternary styles on the dark sheet.
    readonly property color secondaryColor: Theme.white(0.55)
    readonly property color tertiaryColor: Theme.white(0.3)
    readonly property color quaternaryFill: Theme.white(0.1)
    readonly property color separatorColor: Theme.white(0.12)

    signal headerDragged()

    implicitWidth: 420
    implicitHeight: 430
    focus: true

    Keys.onReturnPressed: viewModel.performDefaultAction()
    Keys.onEnterPressed: viewModel.performDefaultAction()
    Keys.onEscapePressed: viewModel.cancel()

    Rectangle {
        id: background
        objectName: "sheetBackground"
        anchors.centerIn: parent
        width: 420
        height: 430
        radius: 26
        color: Qt.rgba(40 / 255, 40 / 255, 43 / 255, 0.98)
        border.width: 1
        border.color: Qt.rgba(root.separatorColor.r, root.separatorColor.g, root.separatorColor.b,
                              root.separatorColor.a * 0.9)
        clip: true

        Column {
            anchors.fill: parent
            spacing: 0

            // Header.
            Item {
                objectName: "header"
                width: parent.width
                height: 64

                DragHandler {
                    target: null
                    onActiveChanged: if (active) root.headerDragged()
                }

                Row {
                    anchors.left: parent.left
                    anchors.leftMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 10

                    Image {
                        anchors.verticalCenter: parent.verticalCenter
                        width: 24
                        height: 24
                        sourceSize.width: Math.ceil(24 * Screen.devicePixelRatio)
                        sourceSize.height: Math.ceil(24 * Screen.devicePixelRatio)
                        source: "image://asset/ShareAppIcon"
                        smooth: true
                        Accessible.ignored: true
                    }
                    Column {
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 2
                        SheetLabel {
                            heading: true
                            text: qsTr("Create a transfer link")
                            color: "white"
                            font.pixelSize: 17
                            font.weight: Font.DemiBold
                        }
                        SheetLabel {
                            text: qsTr("Review your files, then create a link to share.")
                            color: root.secondaryColor
                            font.pixelSize: 12
                        }
                    }
                }
            }

            Rectangle { width: parent.width; height: 1; color: root.separatorColor }

            // Middle section, chosen by the state.
            Item {
                id: content
                objectName: "content"
                width: parent.width
                height: parent.height - 64 - 52 - 2

                Column {
                    objectName: "loadingView"
                    visible: root.phase === "loading"
                    anchors.centerIn: parent
                    width: parent.width - 40
                    spacing: 10

                    ShareActivityIndicator {
                        anchors.horizontalCenter: parent.horizontalCenter
                        width: 18
                        height: 18
                        color: root.secondaryColor
                    }
                    SheetLabel {
                        heading: true
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: qsTr("Preparing your files")
                        color: "white"
                        font.pixelSize: 17
                        font.weight: Font.DemiBold
                    }
                    SheetLabel {
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        text: qsTr("Loading your selected items…")
                        color: root.secondaryColor
                        font.pixelSize: 13
                    }
                }

                // Failure: the banner, centred when nothing else shows, else 16 points from the top
                // above a divider and the rows.
                Column {
                    id: failureBanner
                    objectName: "failureBanner"
                    visible: root.phase === "failed"
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: root.viewModel.showsItems ? 16 : (parent.height - height) / 2
                    width: parent.width - 64
                    spacing: 6

                    SymbolImage {
                        anchors.horizontalCenter: parent.horizontalCenter
                        name: "exclamationmark.triangle.fill"
                        color: Qt.rgba(1, 204 / 255, 0, 1)
                        size: 22
                    }
                    SheetLabel {
                        heading: true
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        text: qsTr("Unable to create link")
                        color: "white"
                        font.pixelSize: 17
                        font.weight: Font.DemiBold
                    }
                    SheetLabel {
                        objectName: "failureMessage"
                        width: parent.width
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        maximumLineCount: 3
                        elide: Text.ElideRight
                        text: root.viewModel.failureMessage
                        color: root.secondaryColor
                        font.pixelSize: 13
                    }
                }

                Rectangle {
                    id: failureDivider
                    visible: failureBanner.visible && root.viewModel.showsItems
                    y: failureBanner.y + failureBanner.height + 12
                    width: parent.width
                    height: 1
                    color: root.separatorColor
                }

                // The shared items: summary, then the rows.
                Column {
                    id: itemSection
                    objectName: "itemSection"
                    visible: root.phase !== "loading" && root.viewModel.showsItems
                    y: failureDivider.visible ? failureDivider.y + 1 + 12 : 0
                    width: parent.width
                    height: parent.height - y
                    spacing: 8

                    SheetLabel {
                        objectName: "summary"
                        x: 20
                        topPadding: 8
                        width: parent.width - 40
                        text: root.viewModel.summary
                        color: root.secondaryColor
                        font.pixelSize: 12
                        elide: Text.ElideRight
                    }

                    ListView {
                        id: list
                        objectName: "itemList"
                        width: parent.width
                        height: parent.height - y
                        topMargin: 10
                        bottomMargin: 10
                        clip: true
                        boundsBehavior: Flickable.StopAtBounds
                        model: root.viewModel.items
                        // Rows are made as they scroll into view, and destroyed (their thumbnail
                        // requests cancelled) as they leave it.
                        cacheBuffer: 0
                        reuseItems: false
                        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

                        delegate: Column {
                            id: entry
                            required property int index
                            required property QtObject sheet
                            required property string displayName
                            required property string filePath
                            required property bool isFolder
                            required property string typeBadge
                            required property string sizeText
                            required property bool wantsThumbnail
                            required property string iconName
                            required property string genericIconName

                            width: entry.ListView.view.width

                            ShareItemRow {
                                width: entry.width
                                sheet: entry.sheet as ShareSheetViewModel
                                displayName: entry.displayName
                                filePath: entry.filePath
                                typeBadge: entry.typeBadge
                                sizeText: entry.sizeText
                                wantsThumbnail: entry.wantsThumbnail
                                iconName: entry.iconName
                                genericIconName: entry.genericIconName
                            }
                            // Between rows, never below the last.
                            Item {
                                id: rowDivider
                                objectName: "rowDivider"
                                visible: entry.index < entry.ListView.view.count - 1
                                width: entry.width
                                height: rowDivider.visible ? 9 : 0
                                Rectangle {
                                    y: 4
                                    width: rowDivider.width
                                    height: 1
                                    color: Theme.white(0.12)
                                    opacity: 0.5
                                }
                            }
                        }
                    }
                }
            }

            Rectangle { width: parent.width; height: 1; color: root.separatorColor }

            // Button row.
            Item {
                objectName: "footer"
                width: parent.width
                height: 52

                Row {
                    anchors.right: parent.right
                    anchors.rightMargin: 20
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 12

                    TavrelButton {
                        objectName: "cancelButton"
                        text: qsTr("Cancel")
                        variant: "secondary"
                        focusPolicy: Qt.NoFocus
                        onClicked: root.viewModel.cancel()
                    }
                    TavrelButton {
                        objectName: "createLinkButton"
                        visible: root.viewModel.footerAction === "createLink"
                        width: 140
                        text: qsTr("Create Link")
                        variant: "primary"
                        focusPolicy: Qt.NoFocus
                        enabled: root.viewModel.footerActionEnabled
                        onClicked: root.viewModel.createLink()
                    }
                    TavrelButton {
                        objectName: "retryButton"
                        visible: root.viewModel.footerAction === "retry"
                        width: 140
                        text: qsTr("Retry")
                        variant: "primary"
                        focusPolicy: Qt.NoFocus
                        onClicked: root.viewModel.retry()
                    }
                    TavrelButton {
                        id: creating
                        objectName: "creatingIndicator"
                        visible: root.viewModel.footerAction === "creating"
                        width: 140
                        variant: "primary"
                        enabled: false
                        focusPolicy: Qt.NoFocus
                        text: qsTr("Creating...")
                        contentItem: Item {
                            Row {
                                anchors.centerIn: parent
                                spacing: 7
                                ShareActivityIndicator {
                                    anchors.verticalCenter: parent.verticalCenter
                                    color: creating.foregroundColor
                                }
                                PlainLabel {
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: creating.text
                                    color: creating.foregroundColor
                                    font.pixelSize: 13
                                    font.weight: Font.Medium
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
