import QtQuick
import QtQuick.Layouts
import Tavrel.Controls
import Tavrel.Onboarding

// The whole content of the onboarding window: the wordmark, the artwork on the welcome screen, and
// the screen of the current sign-in state. Return and Escape run the screen's default and cancel
// buttons; the view model says which control takes focus when the screen changes.
FocusScope {
    id: root

    required property OnboardingViewModel model

    width: 400
    height: 500
    focus: true
    Accessible.name: qsTr("Welcome to Tavrel")

    Keys.onReturnPressed: root.model.activateDefault()
    Keys.onEnterPressed: root.model.activateDefault()
    Keys.onEscapePressed: root.model.activateCancel()

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    // The window moves when dragged by its background.
    DragHandler {
        target: null
        onActiveChanged: if (active && root.Window.window) root.Window.window.startSystemMove()
    }

    Connections {
        target: root.model
        function onFocusRequested() { root.focusControl(root.model.focusTargetName) }
    }
    Component.onCompleted: root.model.viewAppeared()

    function focusControl(target) {
        if (target === "launchAtLogin") {
            launchAtLoginToggle.forceActiveFocus()
            return
        }
        const wanted = target === "primary" || target === "secondary" ? target : ""
        for (const button of [firstButton, secondButton]) {
            if (wanted !== "" && button.visible && button.spec.focus === wanted) {
                button.forceActiveFocus()
                return
            }
        }
        // No control: focus stays with the window itself.
        root.forceActiveFocus()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8

        BrandWordmark {
            Layout.alignment: Qt.AlignHCenter
            Layout.leftMargin: 30
            Layout.rightMargin: 30
            Layout.topMargin: 10
            Layout.bottomMargin: 20
            glyphSize: 18
            titleFont: Qt.font({ pixelSize: 13, weight: Font.DemiBold })
        }

        OnboardingArtwork {
            objectName: "artwork"
            visible: root.model.showsArtwork
            // Takes what the welcome screen leaves, up to the pattern's own proportions.
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.preferredHeight: 0
            Layout.maximumHeight: implicitHeight
        }

        ColumnLayout {
            objectName: "screen"
            Layout.fillWidth: true
            Layout.fillHeight: !root.model.showsArtwork
            Layout.margins: 30
            spacing: 0

            SymbolImage {
                objectName: "signedInMark"
                visible: root.model.screenName === "signedIn"
                Layout.alignment: Qt.AlignHCenter
                name: "checkmark.circle.fill"
                color: Theme.green
                size: 54
            }

            OnboardingScreenLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true
                title: root.model.title
                message: root.model.message

                Item {
                    visible: root.model.screenName === "restoring"
                    Layout.fillWidth: true
                    implicitHeight: restoringIndicator.implicitHeight

                    OnboardingSpinner {
                        id: restoringIndicator
                        objectName: "restoringIndicator"
                        anchors.horizontalCenter: parent.horizontalCenter
                        size: 32
                        Accessible.name: root.model.progressLabel
                    }
                }

                Row {
                    objectName: "statusLine"
                    visible: root.model.statusLine.length > 0
                    Layout.alignment: Qt.AlignHCenter
                    Layout.minimumHeight: 36
                    spacing: 10
                    Accessible.role: Accessible.StaticText
                    Accessible.name: root.model.statusLine

                    OnboardingSpinner {
                        anchors.verticalCenter: parent.verticalCenter
                        size: 16
                        Accessible.ignored: true
                    }
                    PlainLabel {
                        anchors.verticalCenter: parent.verticalCenter
                        text: root.model.statusLine
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        color: Theme.white(0.72)
                        Accessible.ignored: true
                    }
                }

                AccessibleLabel {
                    objectName: "workspaceNote"
                    visible: text.length > 0
                    Layout.fillWidth: true
                    text: root.model.workspaceNote
                    font.pixelSize: 10
                    color: Theme.white(0.55)
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    horizontalAlignment: Text.AlignHCenter
                }

                // The island switch: never offered by the onboarding window.
                Row {
                    objectName: "quickDropRow"
                    visible: root.model.quickDropAvailable && root.model.screenName === "signedIn"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.bottomMargin: 20
                    spacing: 6

                    OnboardingToggle {
                        anchors.verticalCenter: parent.verticalCenter
                        text: qsTr("Enable Tavrel Island")
                        checked: root.model.quickDropEnabled
                        enabled: root.model.quickDropToggleEnabled
                        Accessible.description: root.model.quickDropHint
                        onToggled: root.model.quickDropEnabled = checked
                    }
                    QuickDropHelpButton {
                        anchors.verticalCenter: parent.verticalCenter
                        canInitiateTransfer: root.model.canInitiateTransfer
                        tooltipText: root.model.quickDropHint
                    }
                }

                ColumnLayout {
                    objectName: "launchAtLogin"
                    visible: root.model.screenName === "signedIn"
                    Layout.fillWidth: true
                    Layout.bottomMargin: 20
                    spacing: 8

                    Item {
                        Layout.fillWidth: true
                        implicitHeight: launchAtLoginToggle.implicitHeight

                        OnboardingToggle {
                            id: launchAtLoginToggle
                            objectName: "launchAtLoginToggle"
                            anchors.horizontalCenter: parent.horizontalCenter
                            text: qsTr("Open Tavrel at Login")
                            checked: root.model.launchAtLoginOn
                            Accessible.description: root.model.launchAtLoginHint
                            // The toggle shows what the desktop reports, not what was clicked.
                            onToggled: {
                                root.model.launchAtLoginOn = checked
                                checked = Qt.binding(() => root.model.launchAtLoginOn)
                            }
                        }
                    }

                    ColumnLayout {
                        objectName: "launchAtLoginNote"
                        visible: root.model.launchAtLoginNote.length > 0
                        Layout.fillWidth: true
                        spacing: 4

                        AccessibleLabel {
                            objectName: "launchAtLoginNoteText"
                            Layout.fillWidth: true
                            text: root.model.launchAtLoginNote
                            font.pixelSize: 10
                            color: Theme.white(0.55)
                            wrapMode: Text.Wrap
                            horizontalAlignment: Text.AlignHCenter
                        }
                        OnboardingLinkButton {
                            objectName: "openSystemSettings"
                            visible: root.model.launchAtLoginNoteOffersSettings
                            Layout.alignment: Qt.AlignHCenter
                            text: qsTr("Open System Settings")
                            Accessible.description: qsTr("Opens the Login Items settings in System Settings")
                            onClicked: root.model.openLoginItemsSettings()
                        }
                    }
                }

                // A screen has at most two buttons, in the view model's order.
                OnboardingActionButton {
                    id: firstButton
                    Layout.fillWidth: true
                    spec: root.model.buttons.length > 0 ? root.model.buttons[0] : null
                    onClicked: root.model.activate(spec.action)
                }
                OnboardingActionButton {
                    id: secondButton
                    Layout.fillWidth: true
                    spec: root.model.buttons.length > 1 ? root.model.buttons[1] : null
                    onClicked: root.model.activate(spec.action)
                }

                PlainLabel {
                    objectName: "signedInAs"
                    visible: text.length > 0 && root.model.screenName === "signedIn"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.maximumWidth: 340
                    text: root.model.signedInAs
                    font.pixelSize: 12
                    font.weight: Font.Medium
                    color: Theme.white(0.72)
                    elide: Text.ElideMiddle
                    // Read out whole, even where a long name is elided on screen.
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }
    }
}
