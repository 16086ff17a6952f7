import QtQuick
import QtTest
import Tavrel.Island

Item {
    id: root
    width: 640
    height: 300

    Component {
        id: shapeComponent
        NotchIslandShape { attachedToTop: true }
    }

    TestCase {
        name: "IslandShape"

        function make(w, h, flare, bottom) {
            return createTemporaryObject(shapeComponent, root,
                                         { width: w, height: h, topFlareRadius: flare, bottomRadius: bottom })
        }

        function test_radii_are_cut_to_what_the_rectangle_holds_data() {
            return [
                { tag: "flare beyond half the width", w: 30, h: 100, flare: 22, bottom: 0, f: 15, b: 0 },
                { tag: "flare beyond half the height", w: 200, h: 16, flare: 22, bottom: 0, f: 8, b: 0 },
                { tag: "narrower than twice the flare: square lower corners", w: 40, h: 100, flare: 22, bottom: 24, f: 20, b: 0 },
                { tag: "lower radius beyond what the flare leaves", w: 200, h: 30, flare: 12, bottom: 24, f: 12, b: 18 },
                { tag: "as drawn expanded", w: 550, h: 250, flare: 22, bottom: 24, f: 22, b: 24 },
                { tag: "no radii: a plain rectangle", w: 200, h: 30, flare: 0, bottom: 0, f: 0, b: 0 },
            ]
        }
        function test_radii_are_cut_to_what_the_rectangle_holds(data) {
            const shape = make(data.w, data.h, data.flare, data.bottom)
            compare(shape.flare, data.f)
            compare(shape.lower, data.b)
        }

        function test_detached_it_is_a_rounded_rectangle_within_its_bounds() {
            const shape = make(40, 20, 22, 24)
            shape.attachedToTop = false
            compare(shape.corner, 10)
            shape.bottomRadius = 0
            compare(shape.corner, 0)
        }
    }
}
