import QtQuick
import QtTest
import Tavrel.Onboarding

Item {
    id: root
    width: 400
    height: 500

    Component {
        id: viewComponent
        OnboardingView {}
    }
    Component {
        id: toggleComponent
        OnboardingToggle { text: "Enable Tavrel Island" }
    }

    TestCase {
        name: "OnboardingView"
        when: windowShown

        function show(state, launchAtLogin, failure) {
            const model = harness.make(state, launchAtLogin || "disabled", failure || "")
            const view = createTemporaryObject(viewComponent, root, { model: model })
            harness.drain()  // the initial focus
            return view
        }
        function visibleChild(view, name) {
            const item = findChild(view, name)
            verify(item !== null, name)
            return item
        }
        function isShown(item) {
            for (let current = item; current; current = current.parent) {
                if (!current.visible) return false
            }
            return true
        }
        function click(item) {
            verify(isShown(item), item.objectName + " is shown")
            mouseClick(item)
        }

        function test_each_screen_shows_its_texts_and_buttons_data() {
            return [
                { tag: "restoring", state: "restoring", title: "Getting Tavrel ready...", buttons: [], artwork: false },
                { tag: "signed out", state: "signedOut", title: "Share Files Fast & Securely",
                  buttons: ["button-signIn"], artwork: true },
                { tag: "authorizing", state: "authorizing", title: "Finish in your browser",
                  buttons: ["button-cancelSignIn"], artwork: false },
                { tag: "unavailable", state: "unavailable", title: "Tavrel isn’t available right now",
                  buttons: ["button-retry", "button-useDifferentAccount"], artwork: false },
                { tag: "signed in", state: "signedIn", title: "You are all set",
                  buttons: ["button-done"], artwork: false },
            ]
        }
        function test_each_screen_shows_its_texts_and_buttons(data) {
            const view = show(data.state)
            compare(visibleChild(view, "screenTitle").text, data.title)
            compare(isShown(visibleChild(view, "artwork")), data.artwork)
            compare(isShown(visibleChild(view, "restoringIndicator")), data.state === "restoring")
            compare(isShown(visibleChild(view, "statusLine")), data.state === "authorizing")
            compare(isShown(visibleChild(view, "launchAtLogin")), data.state === "signedIn")
            compare(isShown(visibleChild(view, "signedInMark")), data.state === "signedIn")
            for (const name of ["button-signIn", "button-cancelSignIn", "button-retry",
                                "button-useDifferentAccount", "button-done"]) {
                const button = findChild(view, name)
                compare(button !== null && isShown(button), data.buttons.indexOf(name) >= 0, name)
            }
            compare(isShown(visibleChild(view, "quickDropRow")), false)
            compare(view.width, 400)
            compare(view.height, 500)
        }

        function test_buttons_reach_the_store() {
            let view = show("signedOut")
            click(visibleChild(view, "button-signIn"))
            compare(harness.storeState(), "authorizing")
            harness.drain()
            click(visibleChild(view, "button-cancelSignIn"))
            compare(harness.storeState(), "signedOut")

            view = show("unavailable")
            click(visibleChild(view, "button-useDifferentAccount"))
            compare(harness.storeState(), "signedOut")
            view = show("unavailable")
            click(visibleChild(view, "button-retry"))
            compare(harness.storeState(), "restoring")

            view = show("signedIn")
            const before = harness.doneCount
            click(visibleChild(view, "button-done"))
            compare(harness.doneCount, before + 1)
        }

        function test_the_first_control_takes_focus_and_return_or_escape_run_it_data() {
            return [
                { tag: "welcome", state: "signedOut", focused: "button-signIn", key: Qt.Key_Return, after: "authorizing" },
                { tag: "wait", state: "authorizing", focused: "button-cancelSignIn", key: Qt.Key_Escape, after: "signedOut" },
                { tag: "error", state: "unavailable", focused: "button-retry", key: Qt.Key_Return, after: "restoring" },
            ]
        }
        function test_the_first_control_takes_focus_and_return_or_escape_run_it(data) {
            const view = show(data.state)
            verify(visibleChild(view, data.focused).activeFocus)
            keyClick(data.key)
            compare(harness.storeState(), data.after)
        }

        function test_return_on_the_signed_in_screen_is_done_even_from_the_toggle() {
            const view = show("signedIn")
            const before = harness.doneCount
            verify(visibleChild(view, "button-done").activeFocus)
            visibleChild(view, "launchAtLoginToggle").forceActiveFocus()
            keyClick(Qt.Key_Return)
            compare(harness.doneCount, before + 1)
            compare(harness.launchAtLoginRequests().length, 0)
        }

        function test_restoring_leaves_focus_with_the_window_and_a_new_screen_moves_it() {
            const view = show("restoring")
            verify(view.activeFocus)
            compare(harness.announcements().length, 0)
            harness.restore()
            compare(harness.announcements(), ["Sign in to Tavrel"])
            const signIn = visibleChild(view, "button-signIn")
            verify(!signIn.activeFocus)  // not before the posted focus request runs
            harness.drain()
            verify(signIn.activeFocus)
        }

        function test_the_toggle_asks_and_shows_what_the_desktop_reports() {
            const view = show("signedIn", "disabled")
            const toggle = visibleChild(view, "launchAtLoginToggle")
            compare(toggle.checked, false)
            compare(toggle.Accessible.description, "Allows Tavrel to start automatically when you log in.")
            click(toggle)
            compare(harness.launchAtLoginRequests(), [true])
            compare(toggle.checked, false)  // the fake desktop did not change
            compare(isShown(visibleChild(view, "launchAtLoginNote")), false)
        }

        // Screen readers, voice control and switch access offer a check box both actions; each is
        // a click: the desktop is asked, and the box still shows what the desktop reports.
        function test_assistive_technology_toggles_open_at_login_as_a_click_does_data() {
            return [{ tag: "toggle", action: "Toggle" }, { tag: "press", action: "Press" }]
        }
        function test_assistive_technology_toggles_open_at_login_as_a_click_does(data) {
            const view = show("signedIn", "disabled")
            const toggle = visibleChild(view, "launchAtLoginToggle")
            verify(driver.doAccessibleAction(toggle, data.action))
            compare(harness.launchAtLoginRequests(), [true])
            compare(toggle.checked, false)
        }

        function test_a_disabled_toggle_ignores_assistive_technology() {
            const toggle = createTemporaryObject(toggleComponent, root, { enabled: false })
            let heard = []
            toggle.toggled.connect(() => heard.push("toggled"))
            toggle.clicked.connect(() => heard.push("clicked"))
            for (const action of ["Toggle", "Press"]) driver.doAccessibleAction(toggle, action)
            compare(toggle.checked, false)
            compare(heard, [])
            toggle.enabled = true
            verify(driver.doAccessibleAction(toggle, "Toggle"))
            compare(toggle.checked, true)
            compare(heard, ["toggled", "clicked"])
        }

        function test_assistive_technology_presses_the_settings_link() {
            const view = show("signedIn", "requiresApproval")
            verify(driver.doAccessibleAction(visibleChild(view, "openSystemSettings"), "Press"))
            compare(harness.settingsOpened(), 1)
        }

        function test_approval_shows_the_settings_note_and_its_button() {
            const view = show("signedIn", "requiresApproval")
            compare(visibleChild(view, "launchAtLoginToggle").checked, true)
            compare(visibleChild(view, "launchAtLoginNoteText").text, "Approval is required before Tavrel can open at login.")
            click(visibleChild(view, "openSystemSettings"))
            compare(harness.settingsOpened(), 1)
        }

        function test_unavailable_shows_the_grey_hint_without_a_button() {
            const view = show("signedIn", "unavailable")
            compare(visibleChild(view, "launchAtLoginToggle").checked, false)
            compare(visibleChild(view, "launchAtLoginNoteText").text, "Turn this on to add Tavrel to your Login Items.")
            compare(isShown(visibleChild(view, "openSystemSettings")), false)
        }

        function test_without_sending_the_workspace_note_shows_above_open_at_login() {
            const view = show("signedInWithoutSending")
            const note = visibleChild(view, "workspaceNote")
            verify(isShown(note))
            compare(note.text, "You can still view existing transfers. Ask a workspace admin if you need sending access.")
            const toggle = visibleChild(view, "launchAtLoginToggle")
            verify(note.mapToItem(view, 0, 0).y < toggle.mapToItem(view, 0, 0).y)
            compare(visibleChild(view, "signedInAs").text, "Signed in as Ada")
        }

        function test_every_shown_text_is_heard_data() {
            return [
                { tag: "restoring", state: "restoring" },
                { tag: "welcome", state: "signedOut" },
                { tag: "wait", state: "authorizing" },
                { tag: "error", state: "unavailable" },
                { tag: "signed in", state: "signedIn", launchAtLogin: "requiresApproval" },
                { tag: "without sending", state: "signedInWithoutSending", launchAtLogin: "unavailable" },
                { tag: "failed login item", state: "signedIn", launchAtLogin: "enabled", failure: "The desktop refused." },
            ]
        }
        function test_every_shown_text_is_heard(data) {
            const view = show(data.state, data.launchAtLogin, data.failure)
            compare(driver.unheardTexts(view), [])
        }

        function test_a_focused_control_takes_return_and_space_itself() {
            const view = show("signedIn", "requiresApproval")
            const before = harness.doneCount
            const settings = visibleChild(view, "openSystemSettings")
            const toggle = visibleChild(view, "launchAtLoginToggle")
            const done = visibleChild(view, "button-done")
            // The screen's own focus on "Done" shows, as Return will act there.
            verify(findChild(done, "focusRing").visible)
            for (const control of [toggle, settings]) verify(!findChild(control, "focusRing").visible)
            for (let i = 0; i < 12 && !settings.activeFocus; ++i) keyClick(Qt.Key_Tab)
            verify(findChild(settings, "focusRing").visible)
            keyClick(Qt.Key_Return)
            compare(harness.settingsOpened(), 1)
            compare(harness.doneCount, before)
            keyClick(Qt.Key_Backtab)
            verify(toggle.activeFocus)
            verify(findChild(toggle, "focusRing").visible)
            keyClick(Qt.Key_Space)
            compare(harness.launchAtLoginRequests(), [false])
            keyClick(Qt.Key_Tab)
            keyClick(Qt.Key_Tab)
            verify(done.activeFocus)
            verify(findChild(done, "focusRing").visible)
            keyClick(Qt.Key_Space)
            compare(harness.doneCount, before + 1)
        }

        // Screen readers find the account line by its whole text, even where the line is elided.
        function test_the_signed_in_line_reads_as_text_to_assistive_technology() {
            const line = visibleChild(show("signedIn"), "signedInAs")
            verify(isShown(line))
            compare(line.Accessible.role, Accessible.StaticText)
            compare(line.Accessible.name, line.text)
            verify(line.text.startsWith("Signed in as "))
            compare(line.Accessible.ignored, false)
        }
    }
}
