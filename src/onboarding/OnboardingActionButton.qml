import QtQuick
import Tavrel.Controls

// One of a screen's buttons, as the view model describes it (action, text, variant, focus).
TavrelButton {
    property var spec: null

    visible: spec !== null
    objectName: spec ? "button-" + spec.action : ""
    text: spec ? spec.text : ""
    variant: spec ? spec.variant : "white"
}
