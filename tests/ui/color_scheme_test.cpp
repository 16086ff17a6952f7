#include "ui/color_scheme.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <functional>

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

TEST(PanelColorScheme, ElsewhereThePortalThenTheDesktopThenTheGtkThemeThenTheDesktopsOwnDefault) {
  EXPECT_EQ(ui::panelColorScheme({.portal = ColorScheme::light, .desktopSetting = ColorScheme::dark}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.desktopSetting = ColorScheme::light, .gtkTheme = ColorScheme::dark}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.gtkTheme = ColorScheme::light, .desktopDefault = ColorScheme::dark}), ColorScheme::light);
  // A fresh Plasma profile without the portal: Breeze's light panel, however dark most others are.
  EXPECT_EQ(ui::panelColorScheme({.desktopDefault = ColorScheme::light}), ColorScheme::light);
  EXPECT_EQ(ui::panelColorScheme({.portal = ColorScheme::dark, .desktopDefault = ColorScheme::light}), ColorScheme::dark);
  EXPECT_EQ(ui::panelColorScheme({}), ColorScheme::dark);
}

TEST(PanelColorScheme, KnowsTheDefaultPanelsOfTheDesktopsItNames) {
  EXPECT_EQ(ui::desktopPanelDefault("KDE"), ColorScheme::light);
  EXPECT_EQ(ui::desktopPanelDefault("XFCE"), ColorScheme::light);
  EXPECT_EQ(ui::desktopPanelDefault("GNOME"), ColorScheme::dark);
  // Most specific first: a desktop we do not know goes on to the one it builds on.
  EXPECT_EQ(ui::desktopPanelDefault("ubuntu:GNOME"), ColorScheme::dark);
  EXPECT_EQ(ui::desktopPanelDefault("Unknown:kde"), ColorScheme::light);
  EXPECT_EQ(ui::desktopPanelDefault("X-Cinnamon"), std::nullopt);
  EXPECT_EQ(ui::desktopPanelDefault(""), std::nullopt);
  EXPECT_EQ(ui::desktopPanelDefault("sway:"), std::nullopt);
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

// The watcher against fake desktop services in a process of their own on a private session bus
// (tests/ui/run_color_scheme_test.sh); skipped in the ordinary run.
class PanelColorSchemeWatcherTest : public ::testing::Test {
 public:
  void SetUp() override {
    const auto script = qEnvironmentVariable("TAVREL_FAKE_DESKTOP");
    if (script.isEmpty()) GTEST_SKIP() << "needs run_color_scheme_test.sh";
    desktop.start("/usr/bin/python3", {script});
    ASSERT_TRUE(desktop.waitForReadyRead(10'000));
    ASSERT_EQ(desktop.readAll().trimmed(), "ready");
  }
  void TearDown() override {
    desktop.kill();
    desktop.waitForFinished();
  }

  static void control(const QString& path, const QString& method, const QVariantList& arguments) {
    auto call = QDBusMessage::createMethodCall("org.tavrel.test.FakeDesktop", path, "org.tavrel.test.FakeDesktop", method);
    call.setArguments(arguments);
    const auto reply = QDBusConnection::sessionBus().call(call);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
  }
  static void setPortal(unsigned scheme) { control("/org/freedesktop/portal/desktop", "SetColorScheme", {scheme}); }
  static void setXfconf(const QString& channel, const QString& property, const QVariant& value) {
    control("/org/xfce/Xfconf", "SetProperty", {channel, property, QVariant::fromValue(QDBusVariant(value))});
  }
  static void setPanelRunning(bool running) { control("/org/xfce/Xfconf", "SetPanelRunning", {running}); }

  static bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5'000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (done()) return true;
    }
    return false;
  }

  QProcess desktop;
};

TEST_F(PanelColorSchemeWatcherTest, FollowsThePortalLive) {
  setPortal(2);
  ui::PanelColorSchemeWatcher watcher;
  int changes = 0;
  QObject::connect(&watcher, &ui::PanelColorSchemeWatcher::changed, [&] { ++changes; });
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::light; }));
  setPortal(1);
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::dark; }));
  setPortal(0);  // no preference: dark, as where nothing says, so no change
  ASSERT_TRUE(waitFor([&] { return !watcher.appearance().portal; }));
  EXPECT_EQ(changes, 2);
}

TEST_F(PanelColorSchemeWatcherTest, OnAFreshPlasmaProfileDrawsForBreezesLightPanelUntilThePortalSaysOtherwise) {
  // No ColorScheme= in kdeglobals (this run's configuration folder is empty), no preference at the portal.
  struct OnPlasma {
    OnPlasma() { qputenv("XDG_CURRENT_DESKTOP", "KDE"); }
    ~OnPlasma() { qunsetenv("XDG_CURRENT_DESKTOP"); }
  } onPlasma;
  setPortal(0);
  ui::PanelColorSchemeWatcher watcher;
  EXPECT_EQ(watcher.scheme(), ColorScheme::light);
  setPortal(1);
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::dark; }));
  setPortal(0);
  EXPECT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::light; }));
}

TEST_F(PanelColorSchemeWatcherTest, FollowsAnXfcePanelThatStartsLaterItsDarkModeAndItsTheme) {
  setPortal(1);  // a portal preferring dark applications says nothing of XFCE's panel
  setXfconf("xfce4-panel", "/panels/dark-mode", false);
  ui::PanelColorSchemeWatcher watcher;
  ASSERT_TRUE(waitFor([&] { return watcher.appearance().portal.has_value(); }));
  EXPECT_EQ(watcher.scheme(), ColorScheme::dark);

  setPanelRunning(true);
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::light; }));
  setXfconf("xfce4-panel", "/panels/dark-mode", true);
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::dark; }));
  setXfconf("xfce4-panel", "/panels/dark-mode", false);
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::light; }));
  setXfconf("xsettings", "/Net/ThemeName", QString("Greybird-dark"));
  ASSERT_TRUE(waitFor([&] { return watcher.scheme() == ColorScheme::dark; }));

  // The panel quits: the portal speaks again.
  setXfconf("xsettings", "/Net/ThemeName", QString("Greybird"));
  setPanelRunning(false);
  ASSERT_TRUE(waitFor([&] { return !watcher.appearance().xfcePanelDarkMode; }));
  EXPECT_EQ(watcher.scheme(), ColorScheme::dark);
}

}  // namespace
}  // namespace tavrel::testing
