import QtQuick

// One faint outline of the island's shadow, `step` steps wider than `base`.
NotchIslandShape {
    property int step: 1
    property Item base
    property real baseBottomRadius: 12

    x: -step * 2
    y: 12 - step
    width: base ? base.width + step * 4 : 0
    height: base ? base.height + step * 2 : 0
    bottomRadius: baseBottomRadius + step * 2
    fillColor: Qt.rgba(0, 0, 0, 0.35 / 8)
}
