import QtQuick
import Tavrel.Controls
import Tavrel.Island

// The island's root: hangs the island from the top edge, sizes and shapes it for the account,
// the phase and the presentation, and shows the page that fits.
Item {
    id: root

    required property TransferIslandViewModel model
    readonly property Item island: island
    readonly property Item page: pageLoader.item
    readonly property bool expanded: model.isExpanded

    // A spring-like settle of 0.4 s; immediate under reduce motion.
    readonly property int settle: Motion.reduceMotion ? 0 : 400

    Item {
        id: island
        objectName: "island"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        width: root.model.islandWidth
        height: root.model.islandHeight
        visible: width > 0 && height > 0
        Behavior on width { NumberAnimation { duration: root.settle; easing.type: Easing.OutBack; easing.overshoot: 0.6 } }
        Behavior on height { NumberAnimation { duration: root.settle; easing.type: Easing.OutBack; easing.overshoot: 0.6 } }

        // The expanded island casts a soft shadow below it.
        Repeater {
            model: 8
            NotchIslandShape {
                required property int index
                x: -(index + 1) * 2
                y: 12 - (index + 1)
                width: island.width + (index + 1) * 4
                height: island.height + (index + 1) * 2
                attachedToTop: root.model.attachedToTop
                topFlareRadius: shape.topFlareRadius
                bottomRadius: shape.bottomRadius + (index + 1) * 2
                fillColor: Qt.rgba(0, 0, 0, 0.35 / 8)
                opacity: root.expanded ? 1 : 0
                Behavior on opacity { NumberAnimation { duration: root.settle } }
            }
        }

        NotchIslandShape {
            id: shape
            objectName: "islandShape"
            anchors.fill: parent
            attachedToTop: root.model.attachedToTop
            topFlareRadius: root.model.topFlareRadius
            bottomRadius: root.model.bottomRadius
            fillColor: "black"
            Behavior on topFlareRadius { NumberAnimation { duration: root.settle; easing.type: Easing.OutQuad } }
            Behavior on bottomRadius { NumberAnimation { duration: root.settle; easing.type: Easing.OutQuad } }
        }

        Item {
            id: pageArea
            anchors.fill: parent
            clip: true

            Loader {
                id: pageLoader
                objectName: "page"
                anchors.fill: parent
                property string content: root.model.content
                sourceComponent: {
                    switch (content) {
                    case "authentication": return authenticationPage
                    case "compactReview": return compactReviewPage
                    case "compactUpload": return compactUploadPage
                    case "compactCompletion": return compactCompletionPage
                    case "chooser": return chooserPage
                    case "review": return reviewPage
                    case "progress": return progressPage
                    case "completion": return completionPage
                    default: return compactIdlePage
                    }
                }
                onLoaded: {
                    item.opacity = 0
                    fadeIn.restart()
                }
                NumberAnimation {
                    id: fadeIn
                    target: pageLoader.item
                    property: "opacity"
                    to: 1
                    duration: root.settle
                    easing.type: Easing.OutQuad
                }
            }
        }
    }

    Component {
        id: authenticationPage
        AuthenticationIslandView { status: root.model.authentication }
    }
    Component {
        id: compactIdlePage
        Item {
            CompactIslandView { anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24 }
        }
    }
    Component {
        id: compactReviewPage
        Item {
            CompactReviewActivityView {
                anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24
                status: root.model.compactReview
            }
        }
    }
    Component {
        id: compactUploadPage
        Item {
            CompactUploadView {
                anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24
                upload: root.model.upload
            }
        }
    }
    Component {
        id: compactCompletionPage
        Item {
            CompactCompletionView { anchors.fill: parent; anchors.leftMargin: 24; anchors.rightMargin: 24 }
        }
    }
    Component {
        id: chooserPage
        ExpandedIslandScaffold {
            closeAccessibilityLabel: root.model.closeLabel
            onOpenSettings: root.model.openSettings()
            onClose: root.model.close()
            page: Component {
                TransferChooserView {
                    isDropTargeted: root.model.isDropTargeted
                    onSelectFiles: root.model.chooseFiles()
                    onSelectFolder: root.model.chooseFolder()
                }
            }
        }
    }
    Component {
        id: reviewPage
        ExpandedIslandScaffold {
            closeAccessibilityLabel: root.model.closeLabel
            onOpenSettings: root.model.openSettings()
            onClose: root.model.close()
            page: Component {
                TransferReviewView {
                    model: root.model
                    review: root.model.review
                    isDropTargeted: root.model.isDropTargeted
                    onStartTransfer: root.model.startTransfer()
                    onClearSelection: root.model.clearSelection()
                }
            }
        }
    }
    Component {
        id: progressPage
        ExpandedIslandScaffold {
            closeAccessibilityLabel: root.model.closeLabel
            onOpenSettings: root.model.openSettings()
            onClose: root.model.close()
            page: Component {
                TransferProgressView {
                    upload: root.model.upload
                    onAbortUpload: root.model.abortUpload()
                }
            }
        }
    }
    Component {
        id: completionPage
        ExpandedIslandScaffold {
            closeAccessibilityLabel: root.model.closeLabel
            onOpenSettings: root.model.openSettings()
            onClose: root.model.close()
            page: Component {
                TransferCompletionView {
                    completion: root.model.completion
                    onCopyLink: root.model.copyLink()
                    onViewTransfer: root.model.viewTransfer()
                    onDone: root.model.dismissCompletedTransfer()
                    onSendMore: root.model.startNewTransfer()
                }
            }
        }
    }
}
