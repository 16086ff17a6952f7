#pragma once

#include <QObject>
#include <memory>

#include "platform/browser_launcher.h"
#include "program/interface_ports.h"

namespace tavrel {

// The desktop session of the running program on Qt.
//
// The activation policy is kept as state: Linux has no dock, so what it decides is whether our
// ordinary windows (the onboarding window, the popover's plain window where no tray exists) show in
// the taskbar and the application switcher. Windows read it with `skipsTaskbar()` when they show.
// "Becoming active" is any of our windows taking the focus, or a second start (becomeActive()).
//
// Main thread only.
class LiveApplicationShell final : public QObject, public ApplicationShell {
  Q_OBJECT

 public:
  explicit LiveApplicationShell(std::shared_ptr<platform::BrowserLaunching> browser);

  ActivationPolicy activationPolicy() const override { return policy_; }
  void setActivationPolicy(ActivationPolicy policy) override;
  void terminate() override;
  void open(const platform::Url& url) override;
  platform::Subscription observeDidBecomeActive(std::function<void()> observer) override;

  bool skipsTaskbar() const { return policy_ == ActivationPolicy::accessory; }
  // A second start of the program reached us.
  void becomeActive();

 signals:
  void activationPolicyChanged();

 private:
  std::shared_ptr<platform::BrowserLaunching> browser_;
  ActivationPolicy policy_ = ActivationPolicy::regular;
  platform::Observable<int> activations_{0};
};

}  // namespace tavrel
