import QtQuick

// The welcome screen's picture: the pattern fitted into a full-width band on the desktop's gray,
// darkened a little towards the top and more towards the bottom. Decoration only.
Rectangle {
    id: artwork

    // The pattern's own proportions (400 by 300).
    readonly property real aspectRatio: 0.75

    implicitHeight: width * aspectRatio
    color: Qt.rgba(142 / 255, 142 / 255, 147 / 255, 1)
    clip: true
    Accessible.ignored: true

    Image {
        anchors.centerIn: parent
        height: Math.min(parent.height, parent.width * artwork.aspectRatio)
        width: height / artwork.aspectRatio
        source: "image://asset/OnboardingBackgroundPattern1"
        sourceSize.width: Math.ceil(width * Screen.devicePixelRatio)
        sourceSize.height: Math.ceil(height * Screen.devicePixelRatio)
        fillMode: Image.Stretch
        smooth: true
    }

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: Qt.rgba(0, 0, 0, 0.08) }
            GradientStop { position: 0.5; color: "transparent" }
            GradientStop { position: 1.0; color: Qt.rgba(0, 0, 0, 0.2) }
        }
    }
}
