import QtQuick
import QtQuick.Shapes

// A dashed outline (4 on, 4 off) drawn inside the edge of a rounded rectangle of radius 6.
Shape {
    id: outline

    property color strokeColor: "white"
    property real strokeWidth: 1
    readonly property real inset: strokeWidth / 2
    readonly property real r: 6

    antialiasing: true

    ShapePath {
        strokeColor: outline.strokeColor
        strokeWidth: outline.strokeWidth
        strokeStyle: ShapePath.DashLine
        // Dashes are in units of the stroke width.
        dashPattern: [4 / outline.strokeWidth, 4 / outline.strokeWidth]
        capStyle: ShapePath.FlatCap
        joinStyle: ShapePath.MiterJoin
        fillColor: "transparent"
        startX: outline.inset + outline.r; startY: outline.inset
        PathLine { x: outline.width - outline.inset - outline.r; y: outline.inset }
        PathQuad { x: outline.width - outline.inset; y: outline.inset + outline.r; controlX: outline.width - outline.inset; controlY: outline.inset }
        PathLine { x: outline.width - outline.inset; y: outline.height - outline.inset - outline.r }
        PathQuad { x: outline.width - outline.inset - outline.r; y: outline.height - outline.inset; controlX: outline.width - outline.inset; controlY: outline.height - outline.inset }
        PathLine { x: outline.inset + outline.r; y: outline.height - outline.inset }
        PathQuad { x: outline.inset; y: outline.height - outline.inset - outline.r; controlX: outline.inset; controlY: outline.height - outline.inset }
        PathLine { x: outline.inset; y: outline.inset + outline.r }
        PathQuad { x: outline.inset + outline.r; y: outline.inset; controlX: outline.inset; controlY: outline.inset }
    }
}
