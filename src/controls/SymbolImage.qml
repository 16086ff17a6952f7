import QtQuick

// A symbol drawn in one colour at a square size. An unknown name draws nothing.
Image {
    id: symbol
    property string name
    property color color: "white"
    property real size: 16

    width: size
    height: size
    sourceSize.width: Math.ceil(size * Screen.devicePixelRatio)
    sourceSize.height: Math.ceil(size * Screen.devicePixelRatio)
    fillMode: Image.PreserveAspectFit
    smooth: true
    cache: true
    source: name.length > 0 ? "image://symbol/" + name + "?" + color.toString() : ""
    Accessible.ignored: true
}
