import QtQuick
import QtTest
import Tavrel.Onboarding

Item {
    id: root
    width: 400
    height: 400

    Component {
        id: buttonComponent
        QuickDropHelpButton {
            x: 190
            y: 10
            tooltipText: "Drag files at the top center of your screen to start a transfer."
            canInitiateTransfer: true
        }
    }

    TestCase {
        name: "QuickDropHelpButton"
        when: windowShown

        function popover(button) { return findChild(button, "quickDropTooltip") }

        function test_hover_then_click_keeps_it_open_until_clicked_again() {
            const button = createTemporaryObject(buttonComponent, root)
            compare(button.Accessible.name, "About Tavrel Island")
            compare(button.Accessible.description, button.tooltipText)
            mouseMove(button, 10, 10)
            tryCompare(button.helpState, "presented", true)
            tryCompare(popover(button), "opened", true)
            mouseClick(button)
            mouseMove(root, 5, 390)
            compare(button.helpState.presented, true)
            mouseClick(button)
            compare(button.helpState.presented, false)
            tryCompare(popover(button), "opened", false)
        }

        function test_keyboard_focus_opens_it_and_escape_closes_and_unpins() {
            const button = createTemporaryObject(buttonComponent, root)
            button.forceActiveFocus()
            tryCompare(popover(button), "opened", true)
            keyClick(Qt.Key_Space)
            compare(button.helpState.pinned, true)
            keyClick(Qt.Key_Escape)
            compare(button.helpState.presented, false)
            compare(button.helpState.pinned, false)
            tryCompare(popover(button), "opened", false)
        }

        function test_assistive_technology_pins_and_unpins_it_as_a_click_does() {
            const button = createTemporaryObject(buttonComponent, root)
            verify(driver.doAccessibleAction(button, "Press"))
            compare(button.helpState.pinned, true)
            tryCompare(popover(button), "opened", true)
            verify(driver.doAccessibleAction(button, "Press"))
            compare(button.helpState.pinned, false)
        }

        function test_without_sending_only_the_hint_shows() {
            const button = createTemporaryObject(buttonComponent, root, {
                canInitiateTransfer: false, tooltipText: "Available when your workspace allows sending." })
            mouseClick(button)
            tryCompare(popover(button), "opened", true)
            const content = popover(button).contentItem
            compare(findChild(content, "preview").visible, false)
            compare(findChild(content, "tooltipText").text, "Available when your workspace allows sending.")
        }
    }
}
