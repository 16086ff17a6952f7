import QtQuick
import QtTest
import Tavrel.Share

Item {
    id: window
    width: 420
    height: 430

    Component {
        id: sheetComponent
        ShareExtensionView {}
    }

    TestCase {
        name: "ShareSheet"
        when: windowShown

        function makeSheet(state, itemCount) {
            sheets.clear()
            const sheet = createTemporaryObject(sheetComponent, window,
                                                { viewModel: sheets.make(state, itemCount) })
            sheet.forceActiveFocus()
            return sheet
        }
        function visibleChild(sheet, name) {
            const child = findChild(sheet, name)
            verify(child !== null, name)
            return child
        }
        function shows(item) {
            for (let node = item; node; node = node.parent) {
                if (!node.visible) return false
            }
            return true
        }

        function test_loading_shows_a_disabled_create_link() {
            const sheet = makeSheet("loading", 0)
            verify(shows(visibleChild(sheet, "loadingView")))
            verify(!shows(visibleChild(sheet, "itemSection")))
            const createLink = visibleChild(sheet, "createLinkButton")
            verify(shows(createLink))
            verify(!createLink.enabled)
            mouseClick(createLink)
            keyClick(Qt.Key_Return)
            compare(sheets.calls(), [])
            verify(shows(visibleChild(sheet, "cancelButton")))
        }

        function test_ready_lists_the_rows_and_return_creates_the_link() {
            const requestsBefore = sheets.thumbnailRequests()
            const sheet = makeSheet("ready", 3)
            compare(visibleChild(sheet, "summary").text, "3 items")
            const list = visibleChild(sheet, "itemList")
            verify(shows(list))
            compare(list.count, 3)
            verify(!shows(visibleChild(sheet, "loadingView")))
            keyClick(Qt.Key_Return)
            compare(sheets.calls(), ["createLink"])
            mouseClick(visibleChild(sheet, "createLinkButton"))
            compare(sheets.calls(), ["createLink", "createLink"])
            // Only the photo asks for a thumbnail.
            compare(sheets.thumbnailRequests() - requestsBefore, 1)
        }

        function test_rows_are_divided_but_not_below_the_last() {
            const sheet = makeSheet("ready", 3)
            const list = visibleChild(sheet, "itemList")
            const dividers = []
            for (let index = 0; index < list.count; ++index) {
                list.positionViewAtIndex(index, ListView.Contain)
                tryVerify(() => list.itemAtIndex(index) !== null)
                const entry = list.itemAtIndex(index)
                dividers.push(findChild(entry, "rowDivider").visible)
            }
            compare(dividers, [true, true, false])
            const single = makeSheet("ready", 1)
            const singleList = visibleChild(single, "itemList")
            tryVerify(() => singleList.itemAtIndex(0) !== null)
            compare(findChild(singleList.itemAtIndex(0), "rowDivider").visible, false)
            compare(visibleChild(single, "summary").text, "1 item · 2.5 MB")
        }

        function test_handing_off_shows_creating_and_only_escape_acts() {
            const sheet = makeSheet("handingOff", 2)
            verify(shows(visibleChild(sheet, "creatingIndicator")))
            verify(!visibleChild(sheet, "creatingIndicator").enabled)
            verify(!shows(visibleChild(sheet, "createLinkButton")))
            verify(shows(visibleChild(sheet, "itemList")))
            keyClick(Qt.Key_Return)
            compare(sheets.calls(), [])
            keyClick(Qt.Key_Escape)
            compare(sheets.calls(), ["cancel"])
        }

        function test_failure_with_items_puts_the_banner_above_the_rows() {
            const sheet = makeSheet("failed", 2)
            const banner = visibleChild(sheet, "failureBanner")
            verify(shows(banner))
            compare(banner.y, 16)
            compare(visibleChild(sheet, "failureMessage").text, "Tavrel didn’t respond. Open the app and try again.")
            compare(visibleChild(sheet, "failureMessage").maximumLineCount, 3)
            const rows = visibleChild(sheet, "itemSection")
            verify(shows(rows))
            verify(rows.y > banner.y + banner.height)
            mouseClick(visibleChild(sheet, "retryButton"))
            keyClick(Qt.Key_Return)
            compare(sheets.calls(), ["retry", "retry"])
        }

        function test_failure_without_items_centres_the_banner_alone() {
            const sheet = makeSheet("failedEmpty", 0)
            const banner = visibleChild(sheet, "failureBanner")
            const content = visibleChild(sheet, "content")
            verify(shows(banner))
            verify(!shows(visibleChild(sheet, "itemSection")))
            fuzzyCompare(banner.y + banner.height / 2, content.height / 2, 1)
            mouseClick(visibleChild(sheet, "cancelButton"))
            compare(sheets.calls(), ["cancel"])
        }

        // What a screen reader hears of the sheet's own texts (rows and buttons name themselves).
        function spokenTexts(item) {
            let texts = []
            if (!item.visible) return texts
            if (item.text !== undefined && item.font !== undefined && item.Accessible.name !== ""
                    && (item.Accessible.role === Accessible.StaticText || item.Accessible.role === Accessible.Heading)) {
                texts.push(item.Accessible.name)
            }
            for (let index = 0; index < item.children.length; ++index) {
                texts = texts.concat(spokenTexts(item.children[index]))
            }
            return texts
        }

        function test_every_state_speaks_its_visible_texts() {
            const header = ["Create a transfer link", "Review your files, then create a link to share."]
            compare(spokenTexts(makeSheet("loading", 0)),
                    header.concat(["Preparing your files", "Loading your selected items…"]))
            compare(spokenTexts(makeSheet("ready", 3)), header.concat(["3 items"]))
            const failed = makeSheet("failed", 2)
            const summary = visibleChild(failed, "summary").text
            verify(summary.startsWith("2 items"))
            compare(spokenTexts(failed),
                    header.concat(["Unable to create link", "Tavrel didn’t respond. Open the app and try again.", summary]))
            compare(spokenTexts(makeSheet("failedEmpty", 0)),
                    header.concat(["Unable to create link", visibleChild(makeSheet("failedEmpty", 0), "failureMessage").text]))
        }

        function test_the_sheet_keeps_its_fixed_size() {
            const sheet = makeSheet("ready", 1)
            const background = visibleChild(sheet, "sheetBackground")
            compare(background.width, 420)
            compare(background.height, 430)
            compare(background.radius, 26)
            compare(visibleChild(sheet, "header").height, 64)
            compare(visibleChild(sheet, "footer").height, 52)
        }
    }
}
