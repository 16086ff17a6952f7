import QtQuick
import QtTest
import Tavrel.Controls
import Tavrel.Island

Item {
    id: root
    width: 640
    height: 300

    Component {
        id: islandComponent
        TransferIslandView { anchors.fill: parent; model: scene.island }
    }

    TestCase {
        name: "IslandPages"
        when: windowShown

        function init() {
            driver.setReduceMotion(true)
            scene.signIn(true)
            scene.resetTransfers()
        }

        function expandedView() {
            scene.setExpanded(true)
            const view = createTemporaryObject(islandComponent, root)
            return view
        }

        function click(item) {
            verify(item !== null)
            verify(item.visible)
            mouseClick(item, item.width / 2, item.height / 2)
            scene.settle()
        }

        function test_the_chooser_sends_its_choose_actions() {
            scene.openChooser()
            const view = expandedView()
            compare(view.model.content, "chooser")
            const page = view.page.pageItem
            compare(findChild(page, "dropPrompt").text, "Drag your files or folders here")
            const requests = scene.pickerRequests
            click(findChild(page, "addFiles"))
            compare(scene.pickerRequests, requests + 1)
            compare(scene.lastPickerRequest, "files")
            scene.resetTransfers()
            scene.openChooser()
            scene.setExpanded(true)
            click(findChild(view.page.pageItem, "addFolder"))
            compare(scene.lastPickerRequest, "folder")
        }

        function test_the_chooser_lights_up_under_a_drag_and_its_header_works() {
            scene.openChooser()
            const view = expandedView()
            scene.setDropTargeted(true)
            const prompt = findChild(view.page.pageItem, "dropPrompt")
            compare(prompt.text, "Drop here")
            compare(Qt.colorEqual(prompt.color, Theme.accent), true)
            const close = findChild(view.page, "closeButton")
            compare(close.Accessible.name, "Close chooser")
            compare(findChild(view.page, "settingsButton").Accessible.name, "Transfer settings")
            click(findChild(view.page, "settingsButton"))
            verify(scene.lastOpenedLink.length > 0)
            const collapses = scene.collapses
            click(close)
            compare(scene.collapses, collapses + 1)
        }

        // Screen readers, voice control and switch access press through the element's action: each
        // kind of control runs what its click runs.
        function test_assistive_technology_presses_the_chooser_header_and_carousel() {
            scene.openChooser()
            let view = expandedView()
            const requests = scene.pickerRequests
            verify(driver.doAccessibleAction(findChild(view.page.pageItem, "addFiles"), "Press"))
            scene.settle()
            compare(scene.pickerRequests, requests + 1)
            const collapses = scene.collapses
            verify(driver.doAccessibleAction(findChild(view.page, "closeButton"), "Press"))
            scene.settle()
            compare(scene.collapses, collapses + 1)

            scene.resetTransfers()
            scene.reviewReady(["1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"])
            view = expandedView()
            verify(driver.doAccessibleAction(findChild(view.page.pageItem, "nextButton"), "Press"))
            compare(view.page.pageItem.currentIndex, 1)
        }

        function test_review_starts_the_transfer() {
            scene.reviewReady(["beach.png", "notes.txt", "clip.mov"])
            const view = expandedView()
            compare(view.model.content, "review")
            const page = view.page.pageItem
            compare(findChild(page, "reviewName").text, "beach.png")
            compare(findChild(page, "reviewCount").text, "3 files")
            const start = findChild(page, "startButton")
            compare(start.text, "Start Transfer")
            verify(start.enabled)
            const runs = scene.uploadRuns
            click(start)
            compare(scene.uploadRuns, runs + 1)
            compare(scene.phase, "uploading")
        }

        function test_item_cards_turn_from_icon_to_thumbnail_and_badge_videos() {
            const before = scene.thumbnailRequests()
            scene.reviewReady(["card.png", "card.txt", "card.mov"])
            const page = expandedView().page.pageItem
            compare(scene.thumbnailRequests() - before, 2)  // the image and the video only
            const image = findChild(page, "itemCard:card.png")
            verify(findChild(image, "iconFace").visible)
            verify(!findChild(image, "thumbnailFace").visible)

            scene.answerThumbnails()
            verify(findChild(image, "thumbnailFace").visible)
            verify(!findChild(image, "iconFace").visible)
            compare(findChild(image, "thumbnailImage").status, Image.Ready)
            verify(!findChild(image, "playBadge").visible)
            verify(findChild(findChild(page, "itemCard:card.mov"), "playBadge").visible)
            verify(findChild(findChild(page, "itemCard:card.txt"), "iconFace").visible)
        }

        function test_review_clears_and_its_close_cancels() {
            scene.reviewReady(["a.txt"])
            const view = expandedView()
            click(findChild(view.page.pageItem, "clearButton"))
            verify(scene.phase !== "reviewing")
            scene.resetTransfers()
            scene.reviewReady(["b.txt"])
            scene.setExpanded(true)
            const close = findChild(view.page, "closeButton")
            compare(close.Accessible.name, "Cancel selection")
            click(close)
            verify(scene.phase !== "reviewing")
        }

        function test_a_preparing_review_cannot_start_yet() {
            scene.reviewPreparing(["a.txt"])
            const view = expandedView()
            const page = view.page.pageItem
            verify(!findChild(page, "startButton").enabled)
            compare(findChild(page, "reviewSize").text, "Calculating...")
        }

        function test_the_carousel_steps_through_items_that_overflow() {
            scene.reviewReady(["1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt"])
            const view = expandedView()
            const page = view.page.pageItem
            compare(page.lastScrollIndex, 2)
            compare(page.currentIndex, 0)
            const next = findChild(page, "nextButton")
            verify(next.parent.visible)
            verify(!findChild(page, "previousButton").parent.visible)
            click(next)
            compare(page.currentIndex, 1)
            verify(findChild(page, "previousButton").parent.visible)
            click(findChild(page, "nextButton"))
            compare(page.currentIndex, 2)
            verify(!findChild(page, "nextButton").parent.visible)
        }

        function test_progress_shows_its_figures_and_aborts() {
            scene.uploading(["a.txt", "b.txt"], 0.5, 0, 1)
            const view = expandedView()
            compare(view.model.content, "progress")
            const page = view.page.pageItem
            compare(findChild(page, "percentText").text, "50%")
            compare(findChild(page, "fileCount").text, "2 of 2")
            compare(findChild(page, "timeLeft").value, "Calculating...")
            compare(findChild(view.page, "closeButton").Accessible.name, "Collapse upload")
            click(findChild(page, "abortButton"))
            compare(scene.phase, "reviewing")
        }

        function test_a_whole_upload_has_no_abort_button() {
            scene.uploading(["a.txt"], 1.0)
            const view = expandedView()
            compare(findChild(view.page.pageItem, "percentText").text, "100%")
            verify(!findChild(view.page.pageItem, "abortButton").visible)
        }

        function test_completion_copies_and_opens_the_link() {
            scene.completeUpload(["report.pdf"], 7, true)
            const view = expandedView()
            compare(view.model.content, "completion")
            const page = view.page.pageItem
            compare(findChild(page, "completedTitle").text, "report.pdf")
            compare(findChild(page, "expiryMetric").value, "7 days")
            compare(findChild(page, "previewMetric").value, "On")
            const copy = findChild(page, "copyButton")
            compare(copy.text, "Copy Link")
            click(copy)
            verify(scene.clipboard.length > 0)
            compare(copy.text, " Copied ")
            verify(!copy.enabled)
            click(findChild(page, "viewButton"))
            verify(scene.lastOpenedLink.length > 0)
            click(findChild(page, "sendMoreButton"))
            compare(scene.phase, "choosing")
        }

        function test_done_dismisses_the_completed_transfer() {
            scene.completeUpload(["a.txt"], 1, false)
            const view = expandedView()
            compare(findChild(view.page.pageItem, "expiryMetric").value, "1 day")
            click(findChild(view.page.pageItem, "doneButton"))
            compare(scene.phase, "idle")
        }
    }
}
