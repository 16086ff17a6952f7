import QtQuick
import QtTest
import Tavrel.MenuBar

Item {
    id: window
    width: 320
    height: 400

    Component {
        id: popoverComponent
        TransferPopoverView {}
    }

    TestCase {
        id: test
        name: "TransferPopover"
        when: windowShown

        property var view

        function open() {
            view = createTemporaryObject(popoverComponent, window, { model: scene.model, dropTarget: scene.dropTarget })
            verify(view)
            view.forceActiveFocus()
            driver.advance(500)
            const sections = findChild(view, "sections")
            if (sections) sections.forceLayout()
            return view
        }
        function find(name, from) {
            const item = findChild(from || view, name)
            verify(item, name)
            return item
        }
        function textsOf(item) {
            let texts = []
            if (item.text !== undefined && item.visible) texts.push(item.text)
            for (let i = 0; i < item.children.length; ++i) texts = texts.concat(textsOf(item.children[i]))
            return texts
        }
        function visibleTexts() { return textsOf(view) }

        function init() {
            driver.setReduceMotion(true)
            scene.reset()
        }

        function test_panelsForEachSignInState() {
            open()
            verify(find("restoringPanel").visible)
            verify(!find("uploadFiles").enabled)
            scene.signOut()
            verify(find("signedOutPanel").visible)
            verify(visibleTexts().indexOf("Sign in to Tavrel") >= 0)
            mouseClick(find("signIn"))
            tryVerify(() => { scene.settle(); return find("authorizingPanel").visible })
            compare(view.height, 148)
        }

        function test_unavailablePanelShowsTheMessageAsTypedAndRetries() {
            scene.becomeUnavailable()
            open()
            verify(find("unavailablePanel").visible)
            verify(find("unavailableMessage").text.length > 0)
            mouseClick(find("retryConnection"))
            verify(find("restoringPanel").visible)
        }

        function test_readyPanelFocusesUploadFilesAndReturnChoosesFiles() {
            scene.signIn()
            open()
            verify(find("readyPanel").visible)
            compare(view.height, 270)
            tryVerify(() => find("uploadFiles").activeFocus)
            keyClick(Qt.Key_Return)
            compare(scene.pickerRequests(), 1)
            verify(!find("uploadFiles").enabled)  // the picker is open
        }

        function test_accountThatMayNotSendCannotUpload() {
            scene.signIn(false)
            open()
            verify(find("sendingUnavailablePanel").visible)
            verify(!find("uploadFiles").enabled)
            mouseClick(find("uploadFiles"))
            compare(scene.pickerRequests(), 0)
        }

        function test_returnStartsAReadyTransfer() {
            scene.signIn()
            scene.reviewReady("a.txt")
            open()
            const row = find("activityRow-ready")
            verify(find("startButton", row).visible)
            keyClick(Qt.Key_Return)
            verify(scene.isUploading())
            compare(scene.pickerRequests(), 0)
        }

        function test_hoverRevealsAQueuedRowsCancelWhichActsAtOnce() {
            scene.signIn()
            scene.startUploading("a.txt")
            scene.enqueue("b.txt")
            open()
            const row = find("activityRow-queued")
            const strip = find("trailingActions", row)
            verify(!strip.visible)
            mouseMove(row, 100, 30)
            tryVerify(() => strip.visible && strip.opacity === 1)
            const button = find("actionButton", row)
            compare(button.text, "Cancel queued transfer")
            mouseClick(button)
            compare(scene.queued(), 0)
        }

        function test_cancellingTheUploadAsksFirst() {
            scene.signIn()
            scene.startUploading("a.txt")
            scene.progress(0.42)
            open()
            const row = find("activityRow-uploading")
            compare(find("percent", row).text, "42")
            mouseMove(row, 100, 30)
            mouseClick(find("actionButton", row))
            const dialog = find("confirmation")
            verify(dialog.visible)
            compare(find("confirmationTitle").text, "Cancel this upload?")
            mouseClick(find("confirmationCancel"))
            verify(!dialog.visible)
            verify(scene.isUploading())
            mouseMove(row, 100, 30)
            mouseClick(find("actionButton", row))
            mouseClick(find("confirmationDestructive"))
            scene.settle()
            verify(!scene.isUploading())
        }

        function test_failedRowsRetry() {
            scene.signIn()
            scene.failUploading("a.txt")
            open()
            const row = find("activityRow-failed")
            mouseMove(row, 100, 30)
            const button = find("actionButton", row)
            compare(button.text, "Retry transfer")
            mouseClick(button)
            scene.settle()
            verify(!findChild(view, "activityRow-failed"))
        }

        function test_quitShortcutAsksWhileWorkIsQueuedAndEscapeAnswers() {
            scene.signIn()
            scene.startPreparing("a.txt")
            open()
            keyClick(Qt.Key_Q, Qt.ControlModifier)
            verify(find("confirmation").visible)
            compare(find("confirmationTitle").text, "Quit and stop all transfers?")
            keyClick(Qt.Key_Escape)
            verify(!find("confirmation").visible)
            compare(scene.calls, [])
            keyClick(Qt.Key_Q, Qt.ControlModifier)
            mouseClick(find("confirmationDestructive"))
            compare(scene.calls, ["quit"])
            keyClick(Qt.Key_Escape)
            compare(scene.calls, ["quit", "close"])
        }

        function test_recentRowsOpenAndCopyWithFeedback() {
            scene.signIn()
            scene.loadRecent(2)
            open()
            compare(view.height, 52 * 2 + 28 + 44)
            verify(find("recentHeader").visible)
            verify(!find("activityHeader").visible)
            const row = find("recentRow-t1")
            mouseClick(row, 60, 26)
            mouseMove(row, 200, 26)
            const copy = find("copyButton", row)
            tryVerify(() => copy.visible)
            compare(copy.text, "Copy link")
            mouseClick(copy)
            compare(copy.text, "Link copied")
            verify(!copy.enabled)
            scene.advance(2000)
            compare(copy.text, "Copy link")
            mouseClick(find("trailingButton", find("recentHeader")))
            compare(scene.calls, ["viewRecent:t1", "copy:slug-1", "viewTransfers"])
        }

        function test_completionBannerShowsWhenNothingIsListed() {
            scene.signIn()
            scene.startUploading("report.pdf")
            scene.completeUpload()
            open()
            verify(find("completionBanner").visible)
            compare(find("completedTitle").text, "report.pdf")
        }

        function test_aRevealSetBeforeTheListAppearsStillScrollsToTheRow() {
            scene.signIn()
            const failed = scene.failUploading("failed.txt")
            scene.startUploading("a.txt")
            for (const name of ["b.txt", "c.txt", "d.txt", "e.txt"]) scene.enqueue(name)
            scene.reveal(failed)
            open()
            const row = find("activityRow-failed")
            verify(find("revealHighlight", row).color.a > 0)
            const list = find("sections").parent.parent
            tryVerify(() => list.contentY > 0)
            verify(row.y + row.height <= list.contentY + list.height)
        }

        function test_namesAreShownAsTyped() {
            scene.signIn()
            scene.enqueue("<b>x&amp;")
            open()
            verify(visibleTexts().indexOf("<b>x&amp;") >= 0)
        }

        function test_aDraggedFileDroppedOnThePopoverIsEnqueued() {
            scene.signIn()
            open()
            const url = scene.writeFile("dropped.txt")
            verify(scene.dragAndDrop(view, [url]))
            compare(scene.calls, ["enqueue:1"])
            verify(!find("dropOverlay").visible)
        }

        function test_aSignedOutAccountTakesNoDrop() {
            scene.signOut()
            open()
            verify(!scene.dragAndDrop(view, [scene.writeFile("a.txt")]))
            compare(scene.calls, [])
        }

        function test_aWebAddressIsNoDrop() {
            scene.signIn()
            open()
            verify(!scene.dragAndDrop(view, ["https://example.com/a.txt"]))
            verify(!scene.isDropTargeted())
            compare(scene.calls, [])
        }

        function test_aFileDropBecomesATransferAndTheOverlayShowsMeanwhile() {
            scene.signIn()
            open()
            const url = scene.writeFile("dropped.txt")
            const area = find("dropArea")
            verify(scene.dropTarget.dragUpdated([url]))
            verify(find("dropOverlay").visible)
            verify(!find("mainColumn").enabled)
            verify(scene.dropTarget.dropped([url]))
            verify(!find("dropOverlay").visible)
            compare(scene.calls, ["enqueue:1"])
            verify(area)
        }
    }
}
