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
        // Tabs until `item` has the focus; fails when the Tab chain never reaches it.
        function tabTo(item) {
            for (let i = 0; i < 20 && !item.activeFocus; ++i) keyClick(Qt.Key_Tab)
            verify(item.activeFocus, "Tab reaches " + item.objectName)
        }
        function focusRingShown(item) { return find("focusRing", item).visible }
        function accessible(role, name) {
            return driver.accessibleTree(view).filter(e => e.role === role && (name === undefined || e.name === name))
        }

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
            compare(strip.opacity, 0)
            mouseMove(row, 100, 30)
            tryVerify(() => strip.opacity === 1)
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

        function test_tabbingToARowsButtonRevealsItsStripWithoutHovering() {
            scene.signIn()
            scene.startUploading("a.txt")
            scene.enqueue("b.txt")
            scene.loadRecent(1)
            open()
            const queued = find("activityRow-queued")
            const strip = find("trailingActions", queued)
            compare(strip.opacity, 0)
            const cancel = find("actionButton", queued)
            tabTo(cancel)
            compare(strip.opacity, 1)
            verify(focusRingShown(cancel))
            keyClick(Qt.Key_Space)
            compare(scene.queued(), 0)

            const recent = find("recentRow-t1")
            const copyStrip = find("copyStrip", recent)
            compare(copyStrip.opacity, 0)
            const copy = find("copyButton", recent)
            tabTo(copy)
            compare(copyStrip.opacity, 1)
            verify(focusRingShown(copy))
            keyClick(Qt.Key_Return)
            compare(scene.calls, ["copy:slug-1"])
            keyClick(Qt.Key_Tab)  // on to the next control: the strip fades again
            compare(copyStrip.opacity, 0)
        }

        function test_aFadedStripTakesNoPointerHitsButTheRowBeneathDoes() {
            scene.signIn()
            scene.loadRecent(1)
            open()
            const recent = find("recentRow-t1")
            const copy = find("copyButton", recent)
            // A press where the faded button sits, with the row not hovered, opens the row.
            const point = copy.mapToItem(recent, copy.width / 2, copy.height / 2)
            const strip = find("copyStrip", recent)
            strip.shown = Qt.binding(() => false)
            mousePress(recent, point.x, point.y)
            mouseRelease(recent, point.x, point.y)
            compare(scene.calls, ["viewRecent:t1"])
        }

        function test_returnAndSpaceActOnTheFocusedReadyButtonNotTheDefault() {
            scene.signIn()
            scene.reviewReady("a.txt")
            open()
            const row = find("activityRow-ready")
            const cancel = find("readyCancel", row)
            tabTo(cancel)
            verify(focusRingShown(cancel))
            keyClick(Qt.Key_Return)
            scene.settle()
            verify(!scene.isUploading())
            verify(!findChild(view, "activityRow-ready"), "Return on Cancel cancels")

            scene.reviewReady("b.txt")
            const start = find("startButton", find("activityRow-ready"))
            tabTo(start)
            verify(focusRingShown(start))
            keyClick(Qt.Key_Space)
            verify(scene.isUploading())
        }

        function test_returnOnFocusedHeaderControlsActsOnThem() {
            scene.signIn()
            scene.reviewReady("a.txt")
            scene.loadRecent(1)
            open()
            // Return on "Upload Files" chooses files even while a Ready row holds the default.
            const upload = find("uploadFiles")
            tabTo(upload)
            verify(focusRingShown(upload))
            keyClick(Qt.Key_Return)
            compare(scene.pickerRequests(), 1)
            verify(!scene.isUploading())

            const viewAll = find("trailingButton", find("recentHeader"))
            tabTo(viewAll)
            verify(focusRingShown(viewAll))
            keyClick(Qt.Key_Return)
            const row = find("recentRowButton", find("recentRow-t1"))
            tabTo(row)
            verify(focusRingShown(row))
            keyClick(Qt.Key_Enter)
            compare(scene.calls, ["viewTransfers", "viewRecent:t1"])
            verify(!scene.isUploading())
        }

        // Screen readers, voice control and switch access press through the element's action, not
        // the pointer: each kind of control in the popover runs what its click runs, and a disabled
        // one runs nothing.
        function test_assistiveTechnologyPressesEachControlAsAClickDoes() {
            scene.signIn()
            scene.loadRecent(1)
            scene.reviewReady("a.txt")
            open()
            verify(driver.doAccessibleAction(find("startButton", find("activityRow-ready")), "Press"))
            verify(scene.isUploading())
            scene.enqueue("b.txt")
            verify(driver.doAccessibleAction(find("actionButton", find("activityRow-queued")), "Press"))
            compare(scene.queued(), 0)

            const recent = find("recentRow-t1")
            verify(driver.doAccessibleAction(find("trailingButton", find("recentHeader")), "Press"))
            verify(driver.doAccessibleAction(find("recentRowButton", recent), "Press"))
            verify(driver.doAccessibleAction(find("copyButton", recent), "Press"))
            compare(scene.calls, ["viewTransfers", "viewRecent:t1", "copy:slug-1"])
            verify(!find("copyButton", recent).enabled)  // "Link copied" for a moment
            driver.doAccessibleAction(find("copyButton", recent), "Press")
            compare(scene.calls.length, 3)

            verify(driver.doAccessibleAction(find("uploadFiles"), "Press"))
            compare(scene.pickerRequests(), 1)
            verify(!find("uploadFiles").enabled)  // the picker is open
            driver.doAccessibleAction(find("uploadFiles"), "Press")
            compare(scene.pickerRequests(), 1)
        }

        function test_assistiveTechnologyPressesThePanelsLinks() {
            scene.becomeUnavailable()
            open()
            verify(driver.doAccessibleAction(find("retryConnection"), "Press"))
            verify(find("restoringPanel").visible)
        }

        function test_rowsAreOneElementEachWithTheirButtonsInside() {
            scene.signIn()
            scene.startUploading("a.txt")
            scene.progress(0.42)
            scene.enqueue("b.txt")
            open()
            const tree = driver.accessibleTree(view)
            // The shown elements right under the element named `name`.
            const shownInside = (name) => {
                const at = tree.findIndex(e => e.name === name)
                verify(at >= 0, name)
                let inside = []
                for (let i = at + 1; i < tree.length && tree[i].depth > tree[at].depth; ++i) {
                    if (tree[i].depth === tree[at].depth + 1 && tree[i].shown) inside.push(tree[i].role + ":" + tree[i].name)
                }
                return inside
            }
            compare(shownInside("b.txt, queued"), ["Button:Cancel queued transfer"])
            compare(shownInside("a.txt, uploading, 42 percent"), ["Button:Cancel upload"])
            compare(accessible("StaticText", "b.txt, queued")[0].description, "1 file • Queued")
            compare(accessible("ProgressBar").length, 0)  // the row says the percent for its badge
            compare(accessible("Heading", "Activity").length, 1)
        }

        function test_everyShownTextIsHeard_data() {
            return [
                { tag: "restoring", arrange: () => {} },
                { tag: "signed out", arrange: () => scene.signOut() },
                { tag: "unavailable", arrange: () => scene.becomeUnavailable() },
                { tag: "sending unavailable", arrange: () => scene.signIn(false) },
                { tag: "ready", arrange: () => scene.signIn() },
                { tag: "recent error", arrange: () => { scene.signIn(); scene.failRecentLoad() } },
                { tag: "completed", arrange: () => { scene.signIn(); scene.startUploading("a.txt"); scene.completeUpload() } },
                { tag: "rows", arrange: () => {
                    scene.signIn()
                    scene.failUploading("f.txt")
                    scene.startUploading("a.txt")
                    scene.progress(0.42)
                    scene.enqueue("b.txt")
                    scene.loadRecent(2)
                } },
                { tag: "ready row", arrange: () => { scene.signIn(); scene.reviewReady("r.txt") } },
                { tag: "confirmation", arrange: () => { scene.signIn(); scene.startPreparing("p.txt") }, quit: true },
            ]
        }
        function test_everyShownTextIsHeard(data) {
            data.arrange()
            open()
            if (data.quit) keyClick(Qt.Key_Q, Qt.ControlModifier)
            compare(driver.unheardTexts(view), [])
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

        function test_recentErrorPanelRetriesAndOpensAllTransfers() {
            scene.signIn()
            scene.failRecentLoad()
            open()
            verify(find("recentError").visible)
            const viewAll = find("viewAll")
            tabTo(viewAll)
            verify(focusRingShown(viewAll))
            keyClick(Qt.Key_Return)
            compare(scene.calls, ["viewTransfers"])
            mouseClick(find("retryRecent"))
            verify(find("loadingRecent").visible)
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
