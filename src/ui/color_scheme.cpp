#include "ui/color_scheme.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>

namespace tavrel::ui {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

const QString xfconfService = QStringLiteral("org.xfce.Xfconf");
const QString xfconfPath = QStringLiteral("/org/xfce/Xfconf");
const QString xfconfInterface = QStringLiteral("org.xfce.Xfconf");
const QString xfcePanelService = QStringLiteral("org.xfce.Panel");
const QString panelChannel = QStringLiteral("xfce4-panel");
const QString darkModeProperty = QStringLiteral("/panels/dark-mode");
const QString xsettingsChannel = QStringLiteral("xsettings");
const QString themeNameProperty = QStringLiteral("/Net/ThemeName");

std::string lowered(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) { return std::tolower(c); });
  return result;
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// D-Bus hands a variant inside a variant (the portal's older Read does so on purpose).
QVariant unwrapped(QVariant value) {
  while (value.userType() == qMetaTypeId<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
  return value;
}

std::optional<ColorScheme> portalValue(const QVariant& value) {
  const QVariant plain = unwrapped(value);
  bool ok = false;
  const unsigned scheme = plain.toUInt(&ok);
  return ok ? portalColorScheme(scheme) : std::nullopt;
}

bool truthy(std::string_view value) {
  const auto text = lowered(trimmed(value));
  return text == "1" || text == "true" || text == "yes";
}

}  // namespace

ColorScheme panelColorScheme(const PanelAppearance& appearance) {
  if (appearance.xfcePanelDarkMode) {
    if (*appearance.xfcePanelDarkMode) return ColorScheme::dark;
    return appearance.gtkTheme.value_or(ColorScheme::light);
  }
  if (appearance.portal) return *appearance.portal;
  if (appearance.desktopSetting) return *appearance.desktopSetting;
  if (appearance.gtkTheme) return *appearance.gtkTheme;
  return appearance.desktopDefault.value_or(ColorScheme::dark);
}

std::optional<ColorScheme> desktopPanelDefault(std::string_view currentDesktops) {
  while (true) {
    const auto end = currentDesktops.find(':');
    const auto name = lowered(trimmed(currentDesktops.substr(0, end)));
    if (name == "kde" || name == "xfce") return ColorScheme::light;
    if (name == "gnome") return ColorScheme::dark;
    if (end == std::string_view::npos) return std::nullopt;
    currentDesktops.remove_prefix(end + 1);
  }
}

std::optional<ColorScheme> portalColorScheme(unsigned value) {
  if (value == 1) return ColorScheme::dark;
  if (value == 2) return ColorScheme::light;
  return std::nullopt;
}

std::optional<ColorScheme> gtkThemeColorScheme(std::string_view themeName, bool prefersDark) {
  if (prefersDark) return ColorScheme::dark;
  const auto name = lowered(trimmed(themeName));
  if (name.empty()) return std::nullopt;
  return name.find("dark") != std::string::npos ? ColorScheme::dark : ColorScheme::light;
}

GtkSettings parseGtkSettings(std::string_view settingsIni) {
  GtkSettings settings;
  bool inSettings = false;
  while (!settingsIni.empty()) {
    const auto end = settingsIni.find('\n');
    const auto line = trimmed(settingsIni.substr(0, end));
    settingsIni = end == std::string_view::npos ? std::string_view() : settingsIni.substr(end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      inSettings = line == "[Settings]";
      continue;
    }
    const auto equals = line.find('=');
    if (!inSettings || equals == std::string_view::npos) continue;
    const auto key = trimmed(line.substr(0, equals));
    const auto value = trimmed(line.substr(equals + 1));
    if (key == "gtk-theme-name") settings.themeName = std::string(value);
    if (key == "gtk-application-prefer-dark-theme") settings.prefersDark = truthy(value);
  }
  return settings;
}

PanelColorSchemeWatcher::PanelColorSchemeWatcher(QObject* parent) : QObject(parent) {
  readLocalSettings();
  scheme_ = panelColorScheme(appearance_);
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  // QtDBus matches a slot's parameters by their registered types: without this, the change
  // signals below would not connect and only the first reading would count.
  qRegisterMetaType<QDBusVariant>();
  // Any sender: the portal's owner may change while we run.
  bus.connect(QString(), portalPath, portalInterface, QStringLiteral("SettingChanged"), this,
              SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
  bus.connect(QString(), xfconfPath, xfconfInterface, QStringLiteral("PropertyChanged"), this,
              SLOT(xfconfPropertyChanged(QString, QString, QDBusVariant)));
  bus.connect(QString(), xfconfPath, xfconfInterface, QStringLiteral("PropertyRemoved"), this,
              SLOT(xfconfPropertyRemoved(QString, QString)));
  // XFCE's panel may start after us or restart: read its settings whenever it (re)appears.
  xfcePanelWatcher_ = new QDBusServiceWatcher(xfcePanelService, bus,
                                              QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(xfcePanelWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            xfcePanelRunning_ = !newOwner.isEmpty();
            if (xfcePanelRunning_) readXfcePanel();
            else update();
          });
  readPortal();
  xfcePanelRunning_ = bus.interface() && bus.interface()->isServiceRegistered(xfcePanelService);
  if (xfcePanelRunning_) readXfcePanel();
}

PanelColorSchemeWatcher::~PanelColorSchemeWatcher() = default;

void PanelColorSchemeWatcher::readLocalSettings() {
  appearance_.desktopSetting = desktopColorScheme();
  appearance_.desktopDefault = desktopPanelDefault(qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString());
  // GTK_THEME overrides every other theme setting ("Name" or "Name:dark").
  const QString forced = qEnvironmentVariable("GTK_THEME");
  if (!forced.isEmpty()) {
    appearance_.gtkTheme = gtkThemeColorScheme(forced.toStdString(), false);
    return;
  }
  if (xfceThemeName_) {
    appearance_.gtkTheme = gtkThemeColorScheme(*xfceThemeName_, false);
    return;
  }
  QFile file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
             QStringLiteral("/gtk-3.0/settings.ini"));
  if (!file.open(QIODevice::ReadOnly)) {
    appearance_.gtkTheme = std::nullopt;
    return;
  }
  const QByteArray text = file.read(64 * 1024);
  const auto settings = parseGtkSettings(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  appearance_.gtkTheme = gtkThemeColorScheme(settings.themeName, settings.prefersDark);
}

void PanelColorSchemeWatcher::readPortal() {
  auto call = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, QStringLiteral("ReadOne"));
  call << appearanceGroup << colorSchemeKey;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* answered) {
    answered->deleteLater();
    const QDBusMessage reply = answered->reply();
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      appearance_.portal = portalValue(reply.arguments().constFirst());
      update();
      return;
    }
    if (reply.errorName() != QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")) return;
    // Portals before ReadOne answer Read, with the value wrapped once more.
    auto older = QDBusMessage::createMethodCall(portalService, portalPath, portalInterface, QStringLiteral("Read"));
    older << appearanceGroup << colorSchemeKey;
    auto* retry = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(older), this);
    connect(retry, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* second) {
      second->deleteLater();
      const QDBusMessage answer = second->reply();
      if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) return;
      appearance_.portal = portalValue(answer.arguments().constFirst());
      update();
    });
  });
}

void PanelColorSchemeWatcher::readXfcePanel() {
  readXfconf(panelChannel, darkModeProperty);
  readXfconf(xsettingsChannel, themeNameProperty);
}

void PanelColorSchemeWatcher::readXfconf(const QString& channel, const QString& property) {
  auto call = QDBusMessage::createMethodCall(xfconfService, xfconfPath, xfconfInterface, QStringLiteral("GetProperty"));
  call << channel << property;
  auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, channel, property](QDBusPendingCallWatcher* answered) {
    answered->deleteLater();
    const QDBusMessage reply = answered->reply();
    // An error here is a property that is not set.
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      xfconfValue(channel, property, unwrapped(reply.arguments().constFirst()));
    } else {
      xfconfValue(channel, property, std::nullopt);
    }
  });
}

void PanelColorSchemeWatcher::xfconfValue(const QString& channel, const QString& property,
                                          const std::optional<QVariant>& value) {
  if (channel == panelChannel && property == darkModeProperty) {
    xfceDarkMode_ = value ? std::optional(value->toBool()) : std::nullopt;
  } else if (channel == xsettingsChannel && property == themeNameProperty) {
    const QString name = value ? value->toString() : QString();
    xfceThemeName_ = name.isEmpty() ? std::nullopt : std::optional(name.toStdString());
  } else {
    return;
  }
  update();
}

void PanelColorSchemeWatcher::portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value) {
  if (group != appearanceGroup || key != colorSchemeKey) return;
  appearance_.portal = portalValue(value.variant());
  update();
}

void PanelColorSchemeWatcher::xfconfPropertyChanged(const QString& channel, const QString& property,
                                                   const QDBusVariant& value) {
  xfconfValue(channel, property, unwrapped(value.variant()));
}

void PanelColorSchemeWatcher::xfconfPropertyRemoved(const QString& channel, const QString& property) {
  xfconfValue(channel, property, std::nullopt);
}

void PanelColorSchemeWatcher::update() {
  readLocalSettings();
  appearance_.xfcePanelDarkMode = xfcePanelRunning_ ? std::optional(xfceDarkMode_.value_or(false)) : std::nullopt;
  const auto scheme = panelColorScheme(appearance_);
  if (scheme == scheme_) return;
  scheme_ = scheme;
  emit changed();
}

}  // namespace tavrel::ui
