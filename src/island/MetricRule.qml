import QtQuick
import Tavrel.Controls

// The thin rule between two figures.
Rectangle {
    width: 1
    height: 30
    color: Theme.white(0.08)
}
