import QtQuick

// The product mark in white, 16.8 points square.
Image {
    width: 16.8
    height: 16.8
    sourceSize.width: 34
    sourceSize.height: 34
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: "image://asset/MenuBarMark?#ffffff"
    Accessible.ignored: true
}
