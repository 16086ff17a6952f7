#include "onboarding/onboarding_view_model.h"

#include <QCoreApplication>
#include <QVariantMap>
#include <algorithm>
#include <type_traits>

#include "ui/translations.h"

namespace tavrel {
namespace {

using namespace authentication_state;
using Status = LaunchAtLoginSetting::Status;

QString text(const std::string& value) { return QString::fromStdString(value); }

}  // namespace

OnboardingViewModel::OnboardingViewModel(Services services, std::function<void()> onDone, bool quickDropAvailable,
                                         bool hasNotchedDisplay, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      onDone_(std::move(onDone)),
      quickDropAvailable_(quickDropAvailable),
      hasNotchedDisplay_(hasNotchedDisplay) {
  stateSubscription_ =
      services_.authenticationStore->subscribe([this](const AuthenticationState& state) { stateChanged(state); });
  if (services_.launchAtLogin) {
    launchAtLoginSubscription_ = services_.launchAtLogin->subscribeToChanges([this] { emit changed(); });
  }
  if (services_.preferences) {
    preferencesSubscription_ = services_.preferences->subscribeToChanges([this] { emit changed(); });
  }
  if (services_.tray) {
    traySubscription_ =
        services_.tray->subscribeToChanges([this] { stateChanged(services_.authenticationStore->state()); });
  }
}

OnboardingViewModel::~OnboardingViewModel() { *alive_ = false; }

OnboardingViewModel::Content OnboardingViewModel::contentFor(const AuthenticationState& state, bool trayPresent) {
  return std::visit(
      [trayPresent](const auto& current) -> Content {
        using Case = std::decay_t<decltype(current)>;
        if constexpr (std::is_same_v<Case, Restoring>) {
          return {Screen::restoring,
                  QCoreApplication::translate("Onboarding", "Getting Tavrel ready..."),
                  QCoreApplication::translate("Onboarding", "Checking for an existing sign-in."),
                  QCoreApplication::translate("Onboarding", "Getting Tavrel ready"),
                  false,
                  {},
                  {}};
        } else if constexpr (std::is_same_v<Case, SignedOut>) {
          return {Screen::signedOut,
                  QCoreApplication::translate("Onboarding", "Share Files Fast & Securely"),
                  trayPresent
                      ? QCoreApplication::translate(
                            "Onboarding",
                            "Tavrel lives in your menu bar and lets you share files without opening a browser.")
                      // No menu bar icon to live in: the program is started from the desktop's menu.
                      : QCoreApplication::translate(
                            "Onboarding",
                            "Tavrel opens from your applications and lets you share files without opening a browser."),
                  QCoreApplication::translate("Onboarding", "Sign in to Tavrel"),
                  false,
                  {},
                  {{"signIn", QCoreApplication::translate("Onboarding", "Sign In"), "white", "default",
                    "primary"}}};
        } else if constexpr (std::is_same_v<Case, Authorizing>) {
          return {Screen::authorizing,
                  QCoreApplication::translate("Onboarding", "Finish in your browser"),
                  QCoreApplication::translate(
                      "Onboarding",
                      "Your browser will open to complete sign-in. You’ll return here automatically when "
                      "you’re done."),
                  QCoreApplication::translate("Onboarding", "Finish in your browser"),
                  false,
                  {},
                  {{"cancelSignIn", QCoreApplication::translate("Onboarding", "Cancel"), "secondary",
                    "cancel", "secondary"}}};
        } else if constexpr (std::is_same_v<Case, TemporarilyUnavailable>) {
          return {
              Screen::unavailable,
              QCoreApplication::translate("Onboarding", "Tavrel isn’t available right now"),
              ui::translatedCoreText(current.message),
              QCoreApplication::translate("Onboarding", "Tavrel isn’t available right now"),
              false,
              {},
              {{"retry", QCoreApplication::translate("Onboarding", "Retry"), "white", "default", "primary"},
               {"useDifferentAccount", QCoreApplication::translate("Onboarding", "Use a Different Account"),
                "secondary", "", ""}}};
        } else {
          const auto& bootstrap = current.account.bootstrap;
          const bool maySend = bootstrap.permissions.canInitiateTransfer;
          return {
              Screen::signedIn,
              maySend ? QCoreApplication::translate("Onboarding", "You are all set")
                      : QCoreApplication::translate("Onboarding", "You’re signed in"),
              !maySend ? QCoreApplication::translate(
                             "Onboarding", "Your workspace doesn’t currently allow you to start transfers.")
              : trayPresent
                  ? QCoreApplication::translate(
                        "Onboarding",
                        "Look for the Tavrel icon in your menu bar whenever you’re ready to send files.")
                  // No icon to look for: the program is started again from the desktop's menu.
                  : QCoreApplication::translate(
                        "Onboarding", "Open Tavrel from your applications whenever you’re ready to send files."),
              maySend
                  ? QCoreApplication::translate("Onboarding", "You are all set")
                  : QCoreApplication::translate("Onboarding", "You’re signed in, but sending is unavailable"),
              maySend,
              QCoreApplication::translate("Onboarding", "Signed in as %1").arg(text(bootstrap.user.displayName())),
              {{"done", QCoreApplication::translate("Onboarding", "Done"), "white", "default", "primary"}}};
        }
      },
      state);
}

void OnboardingViewModel::stateChanged(const AuthenticationState& state) {
  auto content = contentFor(state, !services_.tray || services_.tray->isTrayPresent());
  const bool isFirst = !receivedInitialState_;
  receivedInitialState_ = true;
  // A new screen is a new case, or the signed-in screen turning into its other form (the account's
  // permission to send changed); a renewed token or a new message on the same screen is not.
  const bool screenChanged = isFirst || content.screen != content_.screen || content.announcement != content_.announcement;
  if (content == content_ && !isFirst) return;
  content_ = std::move(content);
  emit changed();
  if (isFirst || !screenChanged) return;
  scheduleFocus();
  if (services_.announcer) services_.announcer->announce(content_.announcement.toStdString());
}

void OnboardingViewModel::scheduleFocus() {
  services_.queue->post([this, alive = std::weak_ptr<bool>(alive_)] {
    const auto living = alive.lock();
    if (!living || !*living) return;
    focusTarget_ = initialFocus();
    emit focusRequested(focusTarget_);
  });
}

void OnboardingViewModel::viewAppeared() { scheduleFocus(); }

OnboardingViewModel::FocusTarget OnboardingViewModel::initialFocus() const {
  switch (content_.screen) {
    case Screen::restoring:
      return FocusTarget::none;
    case Screen::authorizing:
      return FocusTarget::secondary;
    case Screen::signedOut:
    case Screen::unavailable:
    case Screen::signedIn:
      return FocusTarget::primary;
  }
  return FocusTarget::none;
}

QString OnboardingViewModel::screenName() const {
  switch (content_.screen) {
    case Screen::restoring:
      return QStringLiteral("restoring");
    case Screen::signedOut:
      return QStringLiteral("signedOut");
    case Screen::authorizing:
      return QStringLiteral("authorizing");
    case Screen::unavailable:
      return QStringLiteral("unavailable");
    case Screen::signedIn:
      return QStringLiteral("signedIn");
  }
  return {};
}

QString OnboardingViewModel::focusTargetName() const {
  switch (focusTarget_) {
    case FocusTarget::none:
      return {};
    case FocusTarget::primary:
      return QStringLiteral("primary");
    case FocusTarget::secondary:
      return QStringLiteral("secondary");
    case FocusTarget::quickDrop:
      return QStringLiteral("quickDrop");
    case FocusTarget::launchAtLogin:
      return QStringLiteral("launchAtLogin");
  }
  return {};
}

QString OnboardingViewModel::progressLabel() const {
  return content_.screen == Screen::restoring
             ? QCoreApplication::translate("Onboarding", "Checking for an existing sign-in")
             : QString();
}

QString OnboardingViewModel::statusLine() const {
  return content_.screen == Screen::authorizing
             ? QCoreApplication::translate("Onboarding", "Waiting for sign-in...")
             : QString();
}

QVariantList OnboardingViewModel::buttons() const {
  QVariantList list;
  for (const auto& button : content_.buttons) {
    list.append(QVariantMap{{QStringLiteral("action"), button.action},
                            {QStringLiteral("text"), button.text},
                            {QStringLiteral("variant"), button.variant},
                            {QStringLiteral("key"), button.key},
                            {QStringLiteral("focus"), button.focus}});
  }
  return list;
}

QString OnboardingViewModel::workspaceNote() const {
  if (content_.screen != Screen::signedIn || content_.canInitiateTransfer) return {};
  return QCoreApplication::translate(
      "Onboarding",
      "You can still view existing transfers. Ask a workspace admin if you need sending access.");
}

void OnboardingViewModel::activate(const QString& action) {
  const auto offered = std::any_of(content_.buttons.begin(), content_.buttons.end(),
                                   [&](const Button& button) { return button.action == action; });
  if (!offered) return;
  auto& store = *services_.authenticationStore;
  if (action == QLatin1String("signIn")) {
    store.signIn();
  } else if (action == QLatin1String("cancelSignIn") || action == QLatin1String("useDifferentAccount")) {
    store.signOut();
  } else if (action == QLatin1String("retry")) {
    // Only acts while the service is unavailable: restoring again, then the restore itself.
    store.retry();
  } else if (action == QLatin1String("done")) {
    if (onDone_) onDone_();
  }
}

void OnboardingViewModel::activateDefault() {
  for (const auto& button : content_.buttons) {
    if (button.key == QLatin1String("default")) return activate(button.action);
  }
}

void OnboardingViewModel::activateCancel() {
  for (const auto& button : content_.buttons) {
    if (button.key == QLatin1String("cancel")) return activate(button.action);
  }
}

// MARK: - Island switch

bool OnboardingViewModel::quickDropEnabled() const {
  return services_.preferences && services_.preferences->isQuickDropEnabled();
}

void OnboardingViewModel::setQuickDropEnabled(bool enabled) {
  if (services_.preferences && enabled != quickDropEnabled()) services_.preferences->setQuickDropEnabled(enabled);
}

QString OnboardingViewModel::quickDropHint() const {
  if (!content_.canInitiateTransfer) {
    return QCoreApplication::translate("Onboarding", "Available when your workspace allows sending.");
  }
  return hasNotchedDisplay_
             ? QCoreApplication::translate(
                   "Onboarding", "Drag files near the top of your screen to start a transfer instantly.")
             : QCoreApplication::translate(
                   "Onboarding", "Drag files at the top center of your screen to start a transfer.");
}

// MARK: - Open at login

bool OnboardingViewModel::launchAtLoginOn() const {
  if (!services_.launchAtLogin) return false;
  const auto status = services_.launchAtLogin->status();
  return status == Status::enabled || status == Status::requiresApproval;
}

void OnboardingViewModel::setLaunchAtLoginOn(bool on) {
  if (services_.launchAtLogin) services_.launchAtLogin->setEnabled(on);
}

QString OnboardingViewModel::launchAtLoginHint() const {
  switch (services_.launchAtLogin ? services_.launchAtLogin->status() : Status::unavailable) {
    case Status::disabled:
      return QCoreApplication::translate("Onboarding",
                                         "Allows Tavrel to start automatically when you log in.");
    case Status::enabled:
      return QCoreApplication::translate("Onboarding",
                                         "Stops Tavrel from starting automatically when you log in.");
    case Status::requiresApproval:
      return QCoreApplication::translate(
          "Onboarding", "Approval is required in System Settings before Tavrel can start at login.");
    case Status::unavailable:
      return QCoreApplication::translate("Onboarding", "Adds Tavrel to your Login Items.");
  }
  return {};
}

QString OnboardingViewModel::launchAtLoginNote() const {
  if (!services_.launchAtLogin) return {};
  const auto failure = services_.launchAtLogin->failureMessage();
  switch (services_.launchAtLogin->status()) {
    case Status::requiresApproval:
      return QCoreApplication::translate("Onboarding",
                                         "Approval is required before Tavrel can open at login.");
    case Status::unavailable:
      return failure ? ui::translatedCoreText(*failure)
                     : QCoreApplication::translate("Onboarding",
                                                   "Turn this on to add Tavrel to your Login Items.");
    case Status::disabled:
    case Status::enabled:
      return failure ? ui::translatedCoreText(*failure) : QString();
  }
  return {};
}

bool OnboardingViewModel::launchAtLoginNoteOffersSettings() const {
  if (!services_.launchAtLogin) return false;
  switch (services_.launchAtLogin->status()) {
    case Status::requiresApproval:
      return true;
    case Status::unavailable:
      return false;
    case Status::disabled:
    case Status::enabled:
      return services_.launchAtLogin->failureMessage().has_value();
  }
  return false;
}

void OnboardingViewModel::openLoginItemsSettings() {
  if (services_.launchAtLogin) services_.launchAtLogin->openLoginItemsSettings();
}

}  // namespace tavrel
