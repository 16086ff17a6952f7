import QtQuick
import QtTest
import Tavrel.Controls

Item {
    id: root
    width: 320
    height: 200

    Component {
        id: buttonComponent
        TavrelButton { width: 200; text: "Upload Files" }
    }
    Component {
        id: iconButtonComponent
        TavrelIconButton { systemImage: "arrow.clockwise" }
    }

    TestCase {
        name: "Buttons"
        when: windowShown

        function test_variants_reach_their_colours_data() {
            return [
                { tag: "primary", variant: "primary", foreground: Theme.ink, background: Theme.accent },
                { tag: "secondary", variant: "secondary", foreground: Theme.white(0.72), background: Theme.white(0.10) },
                { tag: "white", variant: "white", foreground: "black", background: "white" },
                { tag: "destructive", variant: "destructive", foreground: "white", background: Theme.deepRed },
            ]
        }

        function test_variants_reach_their_colours(data) {
            const button = createTemporaryObject(buttonComponent, root, { variant: data.variant })
            compare(Qt.colorEqual(button.foregroundColor, data.foreground), true)
            compare(Qt.colorEqual(button.background.color, data.background), true)
            compare(button.isDestructive, data.variant === "destructive")
        }

        function test_hover_shows_the_layer_only_while_enabled() {
            const button = createTemporaryObject(buttonComponent, root, { variant: "secondary" })
            const layer = findChild(button, "hoverLayer")
            mouseMove(button, button.width / 2, button.height / 2)
            tryCompare(button, "isHovered", true)
            compare(Qt.colorEqual(layer.border.color, Theme.white(0.14)), true)
            driver.advance(200)
            compare(Qt.colorEqual(layer.color, Theme.white(0.07)), true)

            // Disabling it under the pointer clears the hover look at once and halves its opacity.
            button.enabled = false
            compare(button.isHovered, false)
            compare(Qt.colorEqual(layer.border.color, Theme.white(0.08)), true)
            compare(button.opacity, 0.5)
            mouseMove(root, 300, 190)
        }

        function test_press_shrinks_and_a_click_runs_the_action() {
            const button = createTemporaryObject(buttonComponent, root, { variant: "primary" })
            let count = 0
            button.clicked.connect(() => count++)
            mousePress(button, button.width / 2, button.height / 2)
            driver.advance(200)
            compare(button.scale, 0.98)
            compare(button.background.opacity, 0.82)
            mouseRelease(button, button.width / 2, button.height / 2)
            driver.advance(200)
            compare(button.scale, 1.0)
            compare(count, 1)

            button.enabled = false
            mouseClick(button, button.width / 2, button.height / 2)
            compare(count, 1)
        }

        function test_keyboard_focus_draws_the_ring_and_return_or_space_clicks() {
            const button = createTemporaryObject(buttonComponent, root, { y: 10 })
            const icon = createTemporaryObject(iconButtonComponent, root, { y: 100 })
            let clicks = []
            button.clicked.connect(() => clicks.push("button"))
            icon.clicked.connect(() => clicks.push("icon"))
            for (const control of [button, icon]) {
                const ring = findChild(control, "focusRing")
                verify(!ring.visible)
                control.forceActiveFocus(Qt.MouseFocusReason)
                verify(!ring.visible, "no ring for a pointer's focus")
                root.forceActiveFocus()
                control.forceActiveFocus(Qt.TabFocusReason)
                verify(ring.visible)
                keyClick(Qt.Key_Return)
                keyClick(Qt.Key_Space)
            }
            compare(clicks, ["button", "button", "icon", "icon"])
        }

        // Screen readers, voice control and switch access press through the element's action: it
        // is the click, once, and nothing while the button is disabled.
        function test_assistive_technology_presses_as_a_click_does_data() {
            return [{ tag: "text button", component: buttonComponent },
                    { tag: "icon button", component: iconButtonComponent },
                    { tag: "checkable", component: buttonComponent, checkable: true }]
        }
        function test_assistive_technology_presses_as_a_click_does(data) {
            const button = createTemporaryObject(data.component, root, { checkable: !!data.checkable })
            let heard = []
            button.toggled.connect(() => heard.push("toggled " + button.checked))
            button.clicked.connect(() => heard.push("clicked"))
            verify(driver.doAccessibleAction(button, "Press"))
            compare(heard, data.checkable ? ["toggled true", "clicked"] : ["clicked"])
            button.enabled = false
            driver.doAccessibleAction(button, "Press")
            compare(heard.length, data.checkable ? 2 : 1)
            compare(button.checked, !!data.checkable)
        }

        function test_icon_button_names_itself_for_accessibility() {
            const bare = createTemporaryObject(iconButtonComponent, root)
            compare(bare.Accessible.name, "arrow.clockwise")
            compare(findChild(bare, "caption").visible, false)
            const captioned = createTemporaryObject(iconButtonComponent, root, { text: "Retry" })
            compare(captioned.Accessible.name, "Retry")
            compare(findChild(captioned, "caption").visible, true)
            const labelled = createTemporaryObject(iconButtonComponent, root,
                                                   { text: "Retry", accessibilityLabel: "Retry upload" })
            compare(labelled.Accessible.name, "Retry upload")
        }

        function test_icon_button_turns_accent_while_hovered() {
            const button = createTemporaryObject(iconButtonComponent, root, { x: 100, y: 100 })
            compare(Qt.colorEqual(button.foregroundColor, Theme.white(0.72)), true)
            mouseMove(button, button.width / 2, 10)
            tryCompare(button, "isHovered", true)
            compare(Qt.colorEqual(button.foregroundColor, Theme.accent), true)
            mouseMove(root, 5, 5)
            tryCompare(button, "isHovered", false)
        }
    }
}
