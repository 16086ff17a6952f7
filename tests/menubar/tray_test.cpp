// The real tray icon and popover window under Xvfb, with and without a tray host. Run by
// run_tray_test.sh, which starts the display, a private session bus and (for the first case) trayer;
// skipped in the ordinary offscreen run.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QWindow>
#include <algorithm>

#include "menubar/menu_bar_controller.h"
#include "menubar/menu_bar_test_fixture.h"
#include "menubar/tray_host_watcher.h"
#include "ui/qt_main_queue.h"

namespace tavrel::testing {
namespace {

class TrayTest : public MenuBarStoresTest {
 public:
  void SetUp() override {
    if (qEnvironmentVariable("TAVREL_TRAY_TEST").isEmpty() || QGuiApplication::platformName() != "xcb") {
      GTEST_SKIP() << "needs run_tray_test.sh";
    }
  }

  // Runs the event loop and the stores' queue until `done` holds; the display and the tray host are
  // other processes, so this waits on them for real, up to a bound.
  bool waitFor(const std::function<bool()>& done, int boundMs = 10'000) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < boundMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      settle();
      if (done()) return true;
    }
    return false;
  }

  static void click(QPoint position) {
    QProcess::execute("xdotool", {"mousemove", QString::number(position.x()), QString::number(position.y()), "click",
                                  "1"});
  }

  std::unique_ptr<MenuBarController> makeController() {
    return std::make_unique<MenuBarController>(*store, *recent, *authentication, settings, recorded.actions(), mainQueue);
  }

  ui::QtMainQueue mainQueue;
};

TEST_F(TrayTest, AClickOnTheTrayIconOpensThePopoverBelowItAndASecondClickClosesIt) {
  if (qEnvironmentVariable("TAVREL_TRAY_TEST") != "with-tray") GTEST_SKIP() << "no tray host in this run";
  signIn();
  auto controller = makeController();
  ASSERT_TRUE(controller->statusItem()->isAvailable());
  ASSERT_TRUE(waitFor([&] { return controller->statusItem()->geometry().has_value(); }));
  const auto icon = *controller->statusItem()->geometry();

  click(icon.center());
  ASSERT_TRUE(waitFor([&] { return controller->isPopoverShown(); }));
  EXPECT_TRUE(controller->popoverWindow()->contains(QPoint(icon.center().x(), icon.bottom() + 20)));
  EXPECT_FALSE(controller->popoverWindow()->contains(icon.center()));

  click(icon.center());
  EXPECT_TRUE(waitFor([&] { return !controller->isPopoverShown(); }));
}

TEST_F(TrayTest, WithoutATrayHostThePopoverOpensAsAnOrdinaryWindow) {
  if (qEnvironmentVariable("TAVREL_TRAY_TEST") != "without-tray") GTEST_SKIP() << "a tray host runs";
  signIn();
  auto controller = makeController();
  EXPECT_FALSE(controller->statusItem()->isAvailable());
  controller->showPopover(true);
  // Its size is fixed as it first shows: a tiling window manager fills the screen with a window
  // whose size is free, and floats one whose size is not.
  QWindow* window = nullptr;
  for (auto* candidate : QGuiApplication::topLevelWindows()) {
    if (candidate->isVisible() && candidate->title() == QStringLiteral("Tavrel")) window = candidate;
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->minimumSize(), window->size());
  EXPECT_EQ(window->maximumSize(), window->size());
  EXPECT_TRUE(waitFor([&] { return controller->isPopoverShown(); }));
  EXPECT_EQ(controller->popoverWindow()->contentSize(), QSize(320, 270));
}

// The items the StatusNotifierItem watcher lists whose program is still on the bus; empty without
// a watcher.
QStringList registeredTrayItems() {
  auto call = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                             "org.freedesktop.DBus.Properties", "Get");
  call << QString("org.kde.StatusNotifierWatcher") << QString("RegisteredStatusNotifierItems");
  const auto reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 1000);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
  QStringList live;
  for (const auto& item : qdbus_cast<QStringList>(reply.arguments().constFirst().value<QDBusVariant>().variant())) {
    if (QDBusConnection::sessionBus().interface()->isServiceRegistered(item.section('/', 0, 0))) live << item;
  }
  return live;
}

class LateTrayTest : public TrayTest {
 public:
  void SetUp() override {
    TrayTest::SetUp();
    if (qEnvironmentVariable("TAVREL_TRAY_TEST") != "late-tray") GTEST_SKIP() << "needs a desktop without a tray";
  }
  void TearDown() override {
    if (host.state() != QProcess::NotRunning) {
      host.kill();
      host.waitForFinished();
    }
  }

  // Starts a tray host: trayer (an X11 tray) or XFCE's panel (both protocols).
  void startHost(const QString& program, const QStringList& arguments) {
    host.start(program, arguments);
    ASSERT_TRUE(host.waitForStarted());
  }
  void stopHost() {
    host.kill();
    host.waitForFinished();
  }

  QProcess host;
};

// Whether an icon lies in trayer's 120 x 24 strip at the top right of the 1280-pixel screen; an icon
// not yet embedded reports its own window at 0,0.
bool inTray(const std::optional<QRect>& icon) {
  return icon && QRect(1280 - 120, 0, 120, 24).contains(icon->center());
}

TEST_F(LateTrayTest, AnX11TrayStartedLaterShowsTheIconAndARestartedOneShowsItAgain) {
  signIn();
  auto controller = makeController();
  EXPECT_FALSE(controller->statusItem()->isAvailable());
  const QStringList trayer{"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120", "--height", "24"};
  startHost("trayer", trayer);
  ASSERT_TRUE(waitFor([&] { return inTray(controller->statusItem()->geometry()); }));

  stopHost();
  startHost("trayer", trayer);
  // The icon lands in the new tray: a click there opens the popover. The old icon's place is the
  // same, so the click is repeated until the new one is embedded there.
  EXPECT_TRUE(waitFor([&] {
    if (const auto icon = controller->statusItem()->geometry(); inTray(icon) && !controller->isPopoverShown()) {
      click(icon->center());
    }
    return controller->isPopoverShown();
  }));
}

TEST_F(LateTrayTest, TheWatcherTellsWhenAnX11TrayComesAndGoes) {
  TrayHostWatcher hosts;
  int appeared = 0;
  int gone = 0;
  QObject::connect(&hosts, &TrayHostWatcher::hostAppeared, [&] { ++appeared; });
  QObject::connect(&hosts, &TrayHostWatcher::hostGone, [&] { ++gone; });
  EXPECT_FALSE(hosts.isHostPresent());
  startHost("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120", "--height", "24"});
  ASSERT_TRUE(waitFor([&] { return appeared > 0 && hosts.isHostPresent(); }));
  EXPECT_EQ(gone, 0);
  // Killed, as a crashed panel goes: only its window's destruction tells.
  stopHost();
  ASSERT_TRUE(waitFor([&] { return gone > 0; }));
  EXPECT_FALSE(hosts.isHostPresent());
}

TEST_F(LateTrayTest, AnXfcePanelStartedLaterShowsTheIconAsAStatusNotifierItemAndARestartedOneShowsItAgain) {
  signIn();
  auto controller = makeController();
  EXPECT_FALSE(controller->statusItem()->isAvailable());
  // The panel offers both tray protocols; the icon must not settle for the X11 one.
  // XFCE's panel takes long to start on a busy machine.
  constexpr int panelStartBoundMs = 60'000;
  startHost("xfce4-panel", {});
  ASSERT_TRUE(waitFor([&] { return registeredTrayItems().size() == 1; }, panelStartBoundMs));

  QProcess::execute("xfce4-panel", {"--quit"});
  host.waitForFinished();
  startHost("xfce4-panel", {});
  EXPECT_TRUE(waitFor([&] { return registeredTrayItems().size() == 1; }, panelStartBoundMs));
}

// KDE Plasma's tray asks a StatusNotifierItem for its menu on a right click: the item has none, so
// the popover opens as on a left click. (XFCE's panel only hosts the item here; it never makes
// this call, see below.)
TEST_F(LateTrayTest, ASecondaryClickOnTheStatusNotifierItemOpensThePopover) {
  signIn();
  auto controller = makeController();
  startHost("xfce4-panel", {});
  QStringList items;
  ASSERT_TRUE(waitFor([&] { return (items = registeredTrayItems()).size() == 1; }, 60'000));
  const auto& item = items.constFirst();
  const auto slash = item.indexOf('/');
  auto call = QDBusMessage::createMethodCall(item.left(slash), item.mid(slash), "org.kde.StatusNotifierItem",
                                             "ContextMenu");
  call << 1200 << 10;
  // Asked without waiting: the item's answer comes from this process's own event loop.
  QDBusConnection::sessionBus().asyncCall(call);
  EXPECT_TRUE(waitFor([&] { return controller->isPopoverShown(); }));
}

// The shown windows of the process that runs XFCE's tray plugin, on the screen.
QList<QRect> shownTrayPluginWindows() {
  QProcess search;
  search.start("xdotool", {"search", "--onlyvisible", "--classname", "wrapper-2.0"});
  search.waitForFinished();
  QList<QRect> windows;
  for (const auto& id : QString::fromLatin1(search.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
    QProcess geometry;
    geometry.start("xdotool", {"getwindowgeometry", "--shell", id});
    geometry.waitForFinished();
    QMap<QString, int> values;
    for (const auto& line : QString::fromLatin1(geometry.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
      values[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    }
    windows << QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
  }
  return windows;
}

// The tray's place in the 28-pixel panel along the top, which holds nothing else: the item is the
// only icon in it.
std::optional<QRect> xfceTrayIcon() {
  for (const auto& window : shownTrayPluginWindows()) {
    if (window.top() >= 0 && window.bottom() < 28 && window.width() >= 8 && window.width() <= 64) return window;
  }
  return std::nullopt;
}

// The menu the panel opens for its tray plugin (its title is the plugin's name, then "Properties",
// "Move", "Remove", "Panel"): a window of the plugin's process, taller than the panel.
bool xfcePanelMenuShown() {
  const auto windows = shownTrayPluginWindows();
  return std::any_of(windows.begin(), windows.end(), [](const QRect& window) { return window.height() > 60; });
}

void clickWith(int button, QPoint position) {
  QProcess::execute("xdotool", {"mousemove", QString::number(position.x()), QString::number(position.y()), "click",
                                QString::number(button)});
}

// XFCE's panel (4.18) never calls the item's ContextMenu: a right click shows the item's own D-Bus
// menu when it has one with entries, and otherwise the panel's menu for its tray plugin. The item
// has none (the popover holds its menu), so a real right click opens the panel's menu and the
// program hears nothing.
TEST_F(LateTrayTest, ARightClickOnTheIconInXfcesPanelOpensThePanelsMenuAndNotThePopover) {
  signIn();
  auto controller = makeController();
  startHost("xfce4-panel", {});
  ASSERT_TRUE(waitFor([&] { return registeredTrayItems().size() == 1; }, 60'000));
  std::optional<QRect> icon;
  ASSERT_TRUE(waitFor([&] { return (icon = xfceTrayIcon()).has_value(); }));

  clickWith(3, icon->center());
  EXPECT_TRUE(waitFor(xfcePanelMenuShown));
  EXPECT_FALSE(controller->isPopoverShown());
  QProcess::execute("xdotool", {"key", "Escape"});
  // A ContextMenu call from the right click would have reached the program by the time the
  // panel's menu has gone again (one connection, in order), and opened the popover.
  waitFor([] { return !xfcePanelMenuShown(); });
  EXPECT_FALSE(controller->isPopoverShown());
}

}  // namespace
}  // namespace tavrel::testing
