import QtQuick
import Tavrel.Controls

// One of the sheet's own texts, read out as it shows: a Qt Quick text reaches assistive technology
// only with a role. Rows speak for themselves as one element and keep plain labels.
PlainLabel {
    property bool heading: false

    Accessible.role: heading ? Accessible.Heading : Accessible.StaticText
    Accessible.name: text
}
