import QtQuick
import Tavrel.Controls
import Tavrel.Island

// The island's root: hangs the island from the top edge, sizes and shapes it for the account,
// the phase and the presentation, and shows the page that fits.
Item {
    id: root

    property TransferIslandViewModel model
    readonly property Item island: island
    readonly property var page: pageLoader.item
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
        // A screen reader presses the folded island as a pointer clicks it: sign in, retry, expand.
        Accessible.role: root.expanded ? Accessible.Grouping : Accessible.Button
        Accessible.name: "Tavrel"
        Accessible.onPressAction: root.model.press()
        Behavior on width { NumberAnimation { duration: root.settle; easing.type: Easing.OutBack; easing.overshoot: 0.6 } }
        Behavior on height { NumberAnimation { duration: root.settle; easing.type: Easing.OutBack; easing.overshoot: 0.6 } }

        // The expanded island casts a soft shadow below it.
        IslandShadow {
            anchors.fill: parent
            attachedToTop: root.model.attachedToTop
            topFlareRadius: shape.topFlareRadius
            bottomRadius: shape.bottomRadius
            opacity: root.expanded ? 1 : 0
            Behavior on opacity { NumberAnimation { duration: root.settle } }
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
                source: {
                    switch (root.model ? root.model.content : "") {
                    case "authentication": return "AuthenticationPage.qml"
                    case "compactReview": return "CompactReviewPage.qml"
                    case "compactUpload": return "CompactUploadPage.qml"
                    case "compactCompletion": return "CompactCompletionPage.qml"
                    case "chooser": return "ChooserPage.qml"
                    case "review": return "ReviewPage.qml"
                    case "progress": return "ProgressPage.qml"
                    case "completion": return "CompletionPage.qml"
                    default: return "CompactIdlePage.qml"
                    }
                }
                // Each page takes the root's model before it first draws.
                Binding {
                    target: pageLoader.item
                    property: "model"
                    value: root.model
                    when: pageLoader.status === Loader.Ready
                }
                onLoaded: {
                    pageLoader.opacity = 0
                    fadeIn.restart()
                }
                NumberAnimation {
                    id: fadeIn
                    target: pageLoader
                    property: "opacity"
                    to: 1
                    duration: root.settle
                    easing.type: Easing.OutQuad
                }
            }
        }
    }
}
