import QtQuick
import Tavrel.Controls

// The island while the account may not send: the mark, and the sign-in situation in one line.
Item {
    id: view

    // { symbol, showsProgress, text, accessibilityLabel }
    property var status: ({})

    Row {
        id: statusRow
        objectName: "authenticationStatus"
        anchors.right: parent.right
        anchors.rightMargin: 24
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6

        Item {
            width: 14
            height: 14
            anchors.verticalCenter: parent.verticalCenter
            visible: (view.status.symbol || "") !== ""
            SymbolImage {
                id: symbol
                objectName: "authenticationSymbol"
                anchors.centerIn: parent
                name: view.status.symbol || ""
                color: "white"
                size: 14
                RotationAnimation on rotation {
                    from: 0
                    to: 360
                    duration: 1000
                    loops: Animation.Infinite
                    running: view.status.showsProgress === true && !Motion.reduceMotion
                }
            }
        }
        PlainLabel {
            objectName: "authenticationText"
            anchors.verticalCenter: parent.verticalCenter
            text: view.status.text || ""
            font.pixelSize: 13
            font.weight: Font.Medium
            maximumLineCount: 1
            elide: Text.ElideRight
        }
        Accessible.role: Accessible.StaticText
        Accessible.name: view.status.accessibilityLabel || ""
    }

    IslandMark {
        anchors.left: parent.left
        anchors.leftMargin: 24
        anchors.verticalCenter: parent.verticalCenter
    }
}
