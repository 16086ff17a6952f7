import QtQuick
import QtQuick.Shapes

// The island's outline. Attached to the top edge, its upper corners flare outwards into the edge
// and its lower corners are rounded; detached, it is a rounded rectangle.
Shape {
    id: shape

    property bool attachedToTop: false
    property real topFlareRadius: 12
    property real bottomRadius: 12
    property color fillColor: "black"

    readonly property real w: width
    readonly property real h: height
    // Attached: the flare, cut to half the width and height; then the lower radius within what is left.
    readonly property real flare: Math.max(Math.min(w / 2, topFlareRadius, h / 2), 0)
    readonly property real lower: Math.max(Math.min(Math.max(w / 2 - flare, 0), bottomRadius, h - flare), 0)
    // Detached: one radius for all four corners.
    readonly property real corner: Math.max(Math.min(bottomRadius, w / 2, h / 2), 0)

    antialiasing: true

    ShapePath {
        id: attachedPath
        fillColor: shape.attachedToTop ? shape.fillColor : "transparent"
        strokeColor: "transparent"
        strokeWidth: 0
        startX: 0; startY: 0
        PathQuad { x: shape.flare; y: shape.flare; controlX: shape.flare; controlY: 0 }
        PathLine { x: shape.flare; y: shape.h - shape.lower }
        PathQuad { x: shape.flare + shape.lower; y: shape.h; controlX: shape.flare; controlY: shape.h }
        PathLine { x: shape.w - shape.flare - shape.lower; y: shape.h }
        PathQuad { x: shape.w - shape.flare; y: shape.h - shape.lower; controlX: shape.w - shape.flare; controlY: shape.h }
        PathLine { x: shape.w - shape.flare; y: shape.flare }
        PathQuad { x: shape.w; y: 0; controlX: shape.w - shape.flare; controlY: 0 }
        PathLine { x: 0; y: 0 }
    }

    ShapePath {
        fillColor: shape.attachedToTop ? "transparent" : shape.fillColor
        strokeColor: "transparent"
        strokeWidth: 0
        startX: shape.corner; startY: 0
        PathLine { x: shape.w - shape.corner; y: 0 }
        PathQuad { x: shape.w; y: shape.corner; controlX: shape.w; controlY: 0 }
        PathLine { x: shape.w; y: shape.h - shape.corner }
        PathQuad { x: shape.w - shape.corner; y: shape.h; controlX: shape.w; controlY: shape.h }
        PathLine { x: shape.corner; y: shape.h }
        PathQuad { x: 0; y: shape.h - shape.corner; controlX: 0; controlY: shape.h }
        PathLine { x: 0; y: shape.corner }
        PathQuad { x: shape.corner; y: 0; controlX: 0; controlY: 0 }
    }
}
