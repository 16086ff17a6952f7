import QtQuick
import QtTest
import Tavrel.Controls

Item {
    id: root
    width: 200
    height: 200

    Component {
        id: ringComponent
        UploadProgressRing { size: 26; lineWidth: 2; showsPercentage: true }
    }

    TestCase {
        name: "UploadProgressRing"
        when: windowShown

        function cleanup() { driver.setReduceMotion(false) }

        function test_unknown_progress_turns_a_short_arc() {
            const ring = createTemporaryObject(ringComponent, root, { progress: 0 })
            compare(ring.shownFraction, 0.06)
            compare(ring.settled, false)
            compare(findChild(ring, "percentage").text, "0%")
            const arc = findChild(ring, "arc")
            const before = arc.rotation
            driver.advance(300)
            verify(Math.abs(arc.rotation - before) > 45)
        }

        function test_reduce_motion_stops_the_turning_and_hides_the_unknown_arc() {
            driver.setReduceMotion(true)
            const ring = createTemporaryObject(ringComponent, root, { progress: 0 })
            compare(ring.settled, true)
            compare(ring.shownFraction, 0)
            compare(findChild(ring, "arc").visible, false)
            compare(findChild(ring, "arc").rotation, 0)
        }

        function test_known_progress_keeps_turning_until_complete() {
            const ring = createTemporaryObject(ringComponent, root, { progress: 0.5 })
            driver.advance(200)
            compare(ring.animatedFraction, 0.5)
            compare(ring.settled, false)
            compare(findChild(ring, "percentage").text, "50%")
            ring.progress = 1.7
            driver.advance(200)
            compare(ring.settled, true)
            compare(ring.animatedFraction, 1)
            compare(findChild(ring, "arc").rotation, 0)
            compare(findChild(ring, "percentage").text, "100%")
        }

        function test_assistive_technology_reads_the_progress_as_a_value() {
            const ring = createTemporaryObject(ringComponent, root, { progress: 0.426 })
            const element = driver.accessibleTree(ring)[0]
            compare(element.role, "ProgressBar")
            compare(element.name, "Upload progress")
            compare([ring.value, ring.minimumValue, ring.maximumValue], [42, 0, 100])
            compare(element.description, "42 percent")
            compare(element.children, 0)  // the drawn percentage is not read twice
        }

        function test_percentage_type_size_follows_the_ring_within_limits() {
            compare(createTemporaryObject(ringComponent, root, { size: 16 }).children[2].font.pixelSize, 10)
            compare(createTemporaryObject(ringComponent, root, { size: 80 }).children[2].font.pixelSize, 14)
        }
    }
}
