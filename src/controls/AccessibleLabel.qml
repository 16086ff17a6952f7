import QtQuick
import Tavrel.Controls

// A text that stands on its own: read out by assistive technology with its live text. A Qt Quick
// text without a role is left out of the accessibility tree, so every visible text that is not part
// of a button or of a row's one label is one of these. Texts inside a control or a grouped row stay
// plain labels, so the control or row is heard once, under its own label.
PlainLabel {
    property bool heading: false

    Accessible.role: heading ? Accessible.Heading : Accessible.StaticText
    Accessible.name: text
}
