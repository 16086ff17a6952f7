#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QDBusPendingCall;
class QDBusServiceWatcher;
class QDBusVariant;

namespace tavrel::ui {

enum class ColorScheme { light, dark };

// The desktop's colour scheme where it says one: GNOME's `color-scheme` setting
// ("prefer-dark"/"prefer-light"), else KDE's colour scheme name in kdeglobals. Qt 6.4 has no API
// for it. None when the desktop does not say; callers then keep their own default.
std::optional<ColorScheme> desktopColorScheme();

// What the desktop tells about the panel the tray sits on, source by source; none where a source
// is missing or has no preference.
struct PanelAppearance {
  // XFCE's panel, while it runs: its own dark mode (false when it has no such setting).
  std::optional<bool> xfcePanelDarkMode = std::nullopt;
  // The settings portal's `color-scheme`.
  std::optional<ColorScheme> portal = std::nullopt;
  // GNOME's or KDE's own setting (`desktopColorScheme`).
  std::optional<ColorScheme> desktopSetting = std::nullopt;
  // The GTK theme's lightness, from its name and the prefer-dark flag.
  std::optional<ColorScheme> gtkTheme = std::nullopt;
  // How the running desktop draws its panel before anyone chose a scheme (`desktopPanelDefault`).
  std::optional<ColorScheme> desktopDefault = std::nullopt;

  bool operator==(const PanelAppearance&) const = default;
};

// The panel's colour scheme from what the desktop tells. A running XFCE panel says best what it
// looks like: dark in its dark mode, else drawn in the GTK theme (light where none is set, as GTK's
// own default is). Elsewhere the portal's preference, the desktop's own setting, then the GTK
// theme; where nothing says, the desktop's own default, and dark where that is unknown too, as most
// panels are.
ColorScheme panelColorScheme(const PanelAppearance& appearance);

// The panel a desktop shows on a fresh profile, from XDG_CURRENT_DESKTOP (a colon-separated list,
// most specific first): light for KDE Plasma (Breeze) and XFCE (drawn in GTK's light default);
// dark for GNOME, whose top bar (where its AppIndicator extension puts tray icons) is dark in
// either style. None for a desktop we know nothing of.
std::optional<ColorScheme> desktopPanelDefault(std::string_view currentDesktops);

// The portal's `color-scheme` value: 1 prefers dark, 2 prefers light, anything else says nothing.
std::optional<ColorScheme> portalColorScheme(unsigned value);

// A GTK theme's lightness: dark when its name says so ("Adwaita-dark", "Greybird-dark:dark") or
// dark variants are preferred; light otherwise. None without a theme name and preference.
std::optional<ColorScheme> gtkThemeColorScheme(std::string_view themeName, bool prefersDark);

// The theme name and prefer-dark flag of a GTK settings.ini text (`[Settings]` group).
struct GtkSettings {
  std::string themeName;
  bool prefersDark = false;
};
GtkSettings parseGtkSettings(std::string_view settingsIni);

// Follows the panel's colour scheme live: the settings portal (org.freedesktop.portal.Settings,
// `org.freedesktop.appearance` `color-scheme`, and its SettingChanged signal), XFCE's panel
// settings through xfconf (`xfce4-panel` `/panels/dark-mode`, `xsettings` `/Net/ThemeName`, and
// their PropertyChanged signal, while the panel runs), GNOME's and KDE's settings and the GTK
// theme. D-Bus answers arrive asynchronously (a portal that is slow to start never blocks the
// program); `changed` is emitted when the resulting scheme changes.
//
// IMPORTANT: Thread-safety. Main thread only.
class PanelColorSchemeWatcher final : public QObject {
  Q_OBJECT

 public:
  explicit PanelColorSchemeWatcher(QObject* parent = nullptr);
  ~PanelColorSchemeWatcher() override;

  ColorScheme scheme() const { return scheme_; }
  const PanelAppearance& appearance() const { return appearance_; }

 signals:
  void changed();

 private slots:
  void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
  void xfconfPropertyChanged(const QString& channel, const QString& property, const QDBusVariant& value);
  void xfconfPropertyRemoved(const QString& channel, const QString& property);

 private:
  void readPortal();
  void readXfcePanel();
  void readLocalSettings();
  void readXfconf(const QString& channel, const QString& property);
  void xfconfValue(const QString& channel, const QString& property, const std::optional<QVariant>& value);
  void update();

  PanelAppearance appearance_;
  ColorScheme scheme_;
  bool xfcePanelRunning_ = false;
  std::optional<bool> xfceDarkMode_;
  std::optional<std::string> xfceThemeName_;
  QDBusServiceWatcher* xfcePanelWatcher_ = nullptr;
};

}  // namespace tavrel::ui
