import QtQuick
import QtQuick.Controls.Basic

// Shows the full text of a cut line while the pointer rests on it.
MouseArea {
    property string text
    anchors.fill: parent
    hoverEnabled: true
    acceptedButtons: Qt.NoButton
    ToolTip.visible: containsMouse && text !== ""
    ToolTip.text: text
    ToolTip.delay: 600
}
