pragma Singleton
import QtQml

// What pressing a button or toggle runs when no pointer does it: Return or Enter, and assistive
// technology's Press and Toggle actions (screen readers, voice control and switch access press
// controls that way). Qt Quick runs nothing for those actions unless the control handles them, and
// its own CheckBox default flips the box without telling anyone, so every control hands them here:
// the same signals a click emits, in the same order, and nothing while the control is disabled.
QtObject {
    function activate(control) {
        if (!control.enabled)
            return false
        if (control.checkable) {
            control.toggle()
            control.toggled()
        }
        control.clicked()
        return true
    }
}
