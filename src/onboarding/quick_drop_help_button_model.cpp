#include "onboarding/quick_drop_help_button_model.h"

namespace tavrel {

void QuickDropHelpButtonModel::togglePinned() {
  pinned_ = !pinned_;
  setPresented(pinned_);
  emit changed();
}

void QuickDropHelpButtonModel::hoverChanged(bool inside) {
  hovered_ = inside;
  if (inside) setPresented(true);
  else if (!pinned_ && !focused_) setPresented(false);
  emit changed();
}

void QuickDropHelpButtonModel::focusChanged(bool focused) {
  focused_ = focused;
  if (focused) setPresented(true);
  else if (!pinned_ && !hovered_) setPresented(false);
  emit changed();
}

void QuickDropHelpButtonModel::presentationChanged(bool presented) { setPresented(presented); }

void QuickDropHelpButtonModel::cancel() {
  pinned_ = false;
  setPresented(false);
  emit changed();
}

void QuickDropHelpButtonModel::setPresented(bool presented) {
  if (presented == presented_) return;
  presented_ = presented;
  // However the popover closes, it is no longer pinned.
  if (!presented) pinned_ = false;
  emit changed();
}

}  // namespace tavrel
