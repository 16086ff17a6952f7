#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "onboarding/onboarding_ports.h"
#include "ui/accessibility_announcing.h"

namespace tavrel::testing {

// The login item as the desktop would report it; setEnabled only records the call, the test moves
// the status itself.
class FakeLaunchAtLogin final : public LaunchAtLoginSetting {
 public:
  Status status() const override { return status_.value().first; }
  std::optional<std::string> failureMessage() const override { return status_.value().second; }
  void setEnabled(bool enabled) override { requests.push_back(enabled); }
  void openLoginItemsSettings() override { ++settingsOpened; }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override {
    return status_.subscribe([changed = std::move(changed)](const auto&) { changed(); });
  }

  // Two overloads, not a defaulted optional: moving an empty one is a read of an uninitialised
  // string to g++ 12 under AddressSanitizer.
  void set(Status status) { status_.set({status, std::nullopt}); }
  void set(Status status, std::optional<std::string> failure) { status_.set({status, std::move(failure)}); }

  std::vector<bool> requests;
  int settingsOpened = 0;

 private:
  platform::Observable<std::pair<Status, std::optional<std::string>>> status_{{Status::disabled, std::nullopt}};
};

class FakeQuickDropPreference final : public QuickDropPreference {
 public:
  bool isQuickDropEnabled() const override { return enabled_.value(); }
  void setQuickDropEnabled(bool enabled) override { enabled_.set(enabled); }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override {
    return enabled_.subscribe([changed = std::move(changed)](bool) { changed(); });
  }

 private:
  platform::Observable<bool> enabled_{false};
};

// A tray that the test puts up and takes away, as a panel starts and quits.
class FakeTray final : public TrayPresence {
 public:
  explicit FakeTray(bool present = true) : present_(present) {}
  bool isTrayPresent() const override { return present_.value(); }
  platform::Subscription subscribeToChanges(std::function<void()> changed) override {
    return present_.subscribe([changed = std::move(changed)](bool) { changed(); });
  }
  void set(bool present) { present_.set(present); }

 private:
  platform::Observable<bool> present_;
};

class RecordingAnnouncer final : public ui::AccessibilityAnnouncing {
 public:
  void announce(const std::string& text) override { announcements.append(QString::fromStdString(text)); }
  QStringList announcements;
};

}  // namespace tavrel::testing
