#include <gtest/gtest.h>

#include "onboarding/quick_drop_help_button_model.h"

namespace tavrel {
namespace {

TEST(QuickDropHelpButtonModelTest, AClickPinsThePopoverOpenAgainstThePointerLeaving) {
  QuickDropHelpButtonModel button;
  button.hoverChanged(true);
  EXPECT_TRUE(button.presented());
  EXPECT_TRUE(button.highlighted());
  button.togglePinned();
  button.hoverChanged(false);
  EXPECT_TRUE(button.presented());
  EXPECT_TRUE(button.highlighted());  // pinned
  button.togglePinned();
  EXPECT_FALSE(button.presented());
  EXPECT_FALSE(button.pinned());
  EXPECT_FALSE(button.highlighted());
}

TEST(QuickDropHelpButtonModelTest, HoverAndFocusEachHoldThePopoverOpen) {
  QuickDropHelpButtonModel button;
  button.focusChanged(true);
  EXPECT_TRUE(button.presented());
  button.hoverChanged(true);
  button.hoverChanged(false);
  EXPECT_TRUE(button.presented());  // still focused
  button.hoverChanged(true);
  button.focusChanged(false);
  EXPECT_TRUE(button.presented());  // still hovered
  button.hoverChanged(false);
  EXPECT_FALSE(button.presented());
}

TEST(QuickDropHelpButtonModelTest, EscapeOrADismissedPopoverClearsThePin) {
  QuickDropHelpButtonModel button;
  button.focusChanged(true);
  button.togglePinned();
  EXPECT_TRUE(button.pinned());
  button.cancel();
  EXPECT_FALSE(button.presented());
  EXPECT_FALSE(button.pinned());

  button.togglePinned();
  button.presentationChanged(false);  // a click elsewhere dismissed it
  EXPECT_FALSE(button.pinned());
  button.hoverChanged(true);
  button.hoverChanged(false);
  EXPECT_TRUE(button.presented());  // focus still holds it
}

}  // namespace
}  // namespace tavrel
