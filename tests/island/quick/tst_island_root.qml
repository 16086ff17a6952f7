import QtQuick
import QtTest
import Tavrel.Controls
import Tavrel.Island

Item {
    id: root
    width: 640
    height: 300

    // Keeps the animation timer ticking: on virtual time, an animation that starts after the timer
    // went idle would otherwise take its first step as one long jump.
    Item {
        property real phase
        NumberAnimation on phase { from: 0; to: 1; duration: 1000; loops: Animation.Infinite }
    }

    Component {
        id: islandComponent
        TransferIslandView { anchors.fill: parent; model: scene.island }
    }

    TestCase {
        name: "IslandRoot"
        when: windowShown

        function init() {
            driver.setReduceMotion(true)
            scene.resetTransfers()
        }

        function test_a_signed_out_island_states_it_and_a_press_signs_in() {
            scene.signOut()
            const view = createTemporaryObject(destinationComponent, root)
            const island = view.children[0]
            compare(island.model.content, "authentication")
            compare(findChild(island.page, "authenticationText").text, "Sign In")
            compare(findChild(island.page, "authenticationStatus").Accessible.name, "Sign in to Tavrel")
            compare(island.island.width, 285)
            mouseClick(view, view.width / 2, 16)
            scene.settle()
            compare(scene.browserSignIns, 1)
            compare(scene.authentication, "authorizing")
            compare(findChild(island.page, "authenticationText").text, "Signing In")
        }

        function test_clicks_outside_the_island_find_nothing() {
            scene.signIn(true)
            const view = createTemporaryObject(destinationComponent, root)
            const before = scene.interactions.length
            mouseClick(view, 10, 10)
            compare(scene.interactions.length, before)
            mouseClick(view, view.width / 2, 10)
            compare(scene.interactions[scene.interactions.length - 1], "click")
        }

        function test_the_idle_strip_shows_the_mark_and_the_shortcut() {
            scene.signIn(true)
            const view = createTemporaryObject(islandComponent, root)
            compare(view.model.content, "compactIdle")
            compare(findChild(view.page, "shortcut").text, "⌃⌘M")
            compare(view.island.width, 185)
            compare(view.island.height, 32)
        }

        function test_expanding_animates_the_size_unless_motion_is_reduced() {
            scene.signIn(true)
            scene.openChooser()
            driver.setReduceMotion(false)
            const view = createTemporaryObject(islandComponent, root)
            driver.advance(1000)
            compare(view.island.width, 185)
            scene.setExpanded(true)
            driver.advance(50)
            driver.advance(50)
            verify(view.island.width > 185 && view.island.width !== 550, "width " + view.island.width)
            driver.advance(1000)
            compare(view.island.width, 550)
            compare(view.island.height, 250)
            compare(view.model.content, "chooser")

            driver.setReduceMotion(true)
            scene.setExpanded(false)
            compare(view.island.width, 185)
        }

        // The folded island and the completion line inside it are pressed as the island is clicked
        // (the window's controller hands the model's press to the island's click).
        function test_assistive_technology_presses_the_folded_island() {
            scene.signIn(true)
            const view = createTemporaryObject(islandComponent, root)
            let presses = 0
            view.model.pressRequested.connect(() => presses++)
            verify(driver.doAccessibleAction(findChild(view, "island"), "Press"))
            compare(presses, 1)
            scene.completeUpload(["a.txt"])
            compare(view.model.content, "compactCompletion")
            const line = view.page.children[0]
            compare(line.Accessible.name, "Tavrel, transfer completed")
            verify(driver.doAccessibleAction(line, "Press"))
            compare(presses, 2)
        }

        function test_the_compact_pages_follow_the_phase() {
            scene.signIn(true)
            const view = createTemporaryObject(islandComponent, root)
            scene.reviewPreparing(["a.txt"])
            compare(view.model.content, "compactReview")
            compare(findChild(view.page, "reviewStatus").text, "Preparing…")
            scene.resetTransfers()
            scene.uploading(["a.txt", "b.txt"], 0.426, 1000, 0)
            compare(view.model.content, "compactUpload")
            compare(view.island.width, 325)
            compare(findChild(view.page, "compactPercent").text, "42%")
            compare(findChild(view.page, "fileCounter").text, "1 of 2")
        }
    }

    Component {
        id: destinationComponent
        NotchDragDestinationView {
            width: 614
            height: 282
            destination: scene.destination
            TransferIslandView { anchors.fill: parent; model: scene.island }
        }
    }
}
