#include "ui/color_scheme.h"

#include <gtest/gtest.h>

namespace tavrel::testing {
namespace {

using ui::ColorScheme;
using ui::PanelAppearance;

TEST(PanelColorScheme, ARunningXfcePanelSaysBestHowItLooks) {
  // Its dark mode wins over a portal that prefers light apps.
  EXPECT_EQ(ui::panelColorScheme({.xfcePanelDarkMode = true, .portal = ColorScheme::light}), ColorScheme::dark);
  // Out of dark mode it is drawn in the GTK theme, light when none is set.
  EXPECT_EQ(ui::panelColorScheme({.xfcePanelDarkMode = false, .portal = ColorScheme::dark}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.xfcePanelDarkMode = false, .gtkTheme = ColorScheme::dark}), ColorScheme::dark);
}

TEST(PanelColorScheme, ElsewhereThePortalThenTheDesktopThenTheGtkThemeAndDarkWhereNothingSays) {
  EXPECT_EQ(ui::panelColorScheme({.portal = ColorScheme::light, .desktopSetting = ColorScheme::dark}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.desktopSetting = ColorScheme::light, .gtkTheme = ColorScheme::dark}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.gtkTheme = ColorScheme::light}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({}), ColorScheme::dark);
}

TEST(PanelColorScheme, ReadsThePortalValueAndGtkThemes) {
  EXPECT_EQ(ui::portalColorScheme(1), ColorScheme::dark);
  EXPECT_EQ(ui::portalColorScheme(2), ColorScheme::light);
  EXPECT_EQ(ui::portalColorScheme(0), std::nullopt);  // no preference
  EXPECT_EQ(ui::portalColorScheme(7), std::nullopt);

  EXPECT_EQ(ui::gtkThemeColorScheme("Adwaita-dark", false), ColorScheme::dark);
  EXPECT_EQ(ui::gtkThemeColorScheme("Adwaita:dark", false), ColorScheme::dark);
  EXPECT_EQ(ui::gtkThemeColorScheme("Greybird", false), ColorScheme::light);
  EXPECT_EQ(ui::gtkThemeColorScheme("Greybird", true), ColorScheme::dark);
  EXPECT_EQ(ui::gtkThemeColorScheme(" ", false), std::nullopt);

  const auto settings = ui::parseGtkSettings(
      "# mine\n[Other]\ngtk-theme-name=Wrong\n[Settings]\n gtk-theme-name = Arc \r\ngtk-application-prefer-dark-theme=1\n");
  EXPECT_EQ(settings.themeName, "Arc");
  EXPECT_TRUE(settings.prefersDark);
  EXPECT_FALSE(ui::parseGtkSettings("[Settings]\ngtk-application-prefer-dark-theme=false").prefersDark);
}

}  // namespace
}  // namespace tavrel::testing
