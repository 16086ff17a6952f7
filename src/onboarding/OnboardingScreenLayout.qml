import QtQuick
import QtQuick.Layouts
import Tavrel.Controls

// One screen: the title and message centred in the free space, the screen's controls at the
// bottom.
ColumnLayout {
    id: layout

    property string title
    property string message
    default property alias actions: actionColumn.data

    spacing: 24

    Item {
        Layout.fillWidth: true
        Layout.fillHeight: true
        implicitHeight: texts.implicitHeight

        ColumnLayout {
            id: texts
            anchors.verticalCenter: parent.verticalCenter
            width: parent.width
            spacing: 18

            PlainLabel {
                objectName: "screenTitle"
                Layout.fillWidth: true
                text: layout.title
                font.pixelSize: 20
                font.weight: Font.DemiBold
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            AccessibleLabel {
                objectName: "screenMessage"
                Layout.fillWidth: true
                text: layout.message
                font.pixelSize: 14
                lineHeightMode: Text.FixedHeight
                lineHeight: 21
                color: Theme.white(0.72)
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
            }
        }
    }

    ColumnLayout {
        id: actionColumn
        objectName: "actions"
        Layout.fillWidth: true
        Layout.topMargin: 20
        spacing: 12
    }
}
