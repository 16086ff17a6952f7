#include "program/live_application_shell.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

namespace tavrel {

LiveApplicationShell::LiveApplicationShell(std::shared_ptr<platform::BrowserLaunching> browser)
    : browser_(std::move(browser)) {
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive) becomeActive();
  });
}

void LiveApplicationShell::setActivationPolicy(ActivationPolicy policy) {
  if (policy_ == policy) return;
  policy_ = policy;
  emit activationPolicyChanged();
}

void LiveApplicationShell::terminate() {
  // After the current task: the caller may still be on the stack of a window's handler.
  QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
}

void LiveApplicationShell::open(const platform::Url& url) {
  // The outcome is not looked at: a browser that fails to start leaves nothing to undo.
  if (browser_) browser_->open(url, [](bool) {});
}

platform::Subscription LiveApplicationShell::observeDidBecomeActive(std::function<void()> observer) {
  return activations_.subscribe([observer = std::move(observer), first = true](const int&) mutable {
    if (std::exchange(first, false)) return;
    observer();
  });
}

void LiveApplicationShell::becomeActive() { activations_.set(activations_.value() + 1); }

}  // namespace tavrel
