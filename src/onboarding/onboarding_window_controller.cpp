#include "onboarding/onboarding_window_controller.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>

#include "ui/interface_setup.h"

namespace tavrel {

OnboardingWindowController::OnboardingWindowController(std::shared_ptr<AuthenticationStore> authenticationStore,
                                                       std::shared_ptr<AppPreferences> preferences,
                                                       std::shared_ptr<LaunchAtLoginModel> launchAtLogin,
                                                       std::function<void()> onDone,
                                                       std::shared_ptr<platform::MainQueue> queue,
                                                       std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
                                                       std::shared_ptr<TrayPresence> tray, QObject* parent)
    : OnboardingWindowController(
          OnboardingViewModel::Services{std::move(authenticationStore),
                                        std::make_shared<LaunchAtLoginModelSetting>(std::move(launchAtLogin)),
                                        std::make_shared<AppPreferencesQuickDrop>(std::move(preferences)),
                                        std::move(announcer), std::move(queue), std::move(tray)},
          std::move(onDone), parent) {}

OnboardingWindowController::OnboardingWindowController(OnboardingViewModel::Services services,
                                                       std::function<void()> onDone, QObject* parent)
    : QObject(parent),
      queue_(services.queue),
      model_(new OnboardingViewModel(std::move(services), std::move(onDone), false, false, this)),
      window_(new QQuickView) {
  ui::prepareEngine(*window_->engine());
  window_->setTitle(QCoreApplication::translate("Onboarding", "Welcome to Tavrel"));
  // Title and close button only: no minimise or maximise where the desktop honours the hints.
  window_->setFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window_->setColor(Qt::black);
  window_->setMinimumSize(QSize(kWidth, kHeight));
  window_->setMaximumSize(QSize(kWidth, kHeight));
  window_->resize(kWidth, kHeight);
  window_->setResizeMode(QQuickView::SizeRootObjectToView);
  window_->setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(model_)}});
  window_->setSource(QUrl(QStringLiteral("qrc:/qt/qml/Tavrel/Onboarding/OnboardingView.qml")));
  window_->installEventFilter(this);

  for (auto* screen : QGuiApplication::screens()) watchScreen(screen);
  connect(qApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
    watchScreen(screen);
    screensChanged();
  });
  connect(qApp, &QGuiApplication::screenRemoved, this, &OnboardingWindowController::screensChanged);
  connect(qApp, &QGuiApplication::primaryScreenChanged, this, &OnboardingWindowController::screensChanged);
}

OnboardingWindowController::~OnboardingWindowController() {
  *alive_ = false;
  // The view goes before the view model it shows.
  delete window_;
}

void OnboardingWindowController::watchScreen(QScreen* screen) {
  connect(screen, &QScreen::geometryChanged, this, &OnboardingWindowController::screensChanged);
  connect(screen, &QScreen::availableGeometryChanged, this, &OnboardingWindowController::screensChanged);
}

void OnboardingWindowController::screensChanged() {
  // After the desktop has finished rearranging its screens, not in the middle of it.
  queue_->post([this, alive = std::weak_ptr<bool>(alive_)] {
    const auto living = alive.lock();
    if (living && *living) repositionIfOffscreen();
  });
}

std::vector<ScreenArea> OnboardingWindowController::currentScreens(std::optional<std::size_t>* primary) {
  std::vector<ScreenArea> areas;
  const auto screens = QGuiApplication::screens();
  for (qsizetype index = 0; index < screens.size(); ++index) {
    areas.push_back({QRectF(screens[index]->geometry()), QRectF(screens[index]->availableGeometry())});
    if (primary && screens[index] == QGuiApplication::primaryScreen()) *primary = static_cast<std::size_t>(index);
  }
  return areas;
}

void OnboardingWindowController::show() {
  if (!window_->isVisible()) centre();
  window_->show();
  window_->raise();
  window_->requestActivate();
}

void OnboardingWindowController::close() { window_->hide(); }

void OnboardingWindowController::centre() {
  std::optional<std::size_t> primary;
  const auto screens = currentScreens(&primary);
  const auto frame = window_->frameGeometry();
  const QSizeF size = frame.isValid() ? QSizeF(frame.size()) : QSizeF(kWidth, kHeight);
  // Without a screen the desktop places the window itself.
  if (const auto origin = placementOnShow(size, QPointF(QCursor::pos()), screens, primary)) {
    window_->setFramePosition(origin->toPoint());
  }
}

void OnboardingWindowController::repositionIfOffscreen() {
  if (!window_->isVisible()) return;
  if (isReachable(QRectF(window_->frameGeometry()), currentScreens(nullptr))) return;
  centre();
}

bool OnboardingWindowController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::Close) {
    // The close button asks; the coordinator answers. The window itself never closes this way.
    event->ignore();
    if (onUserClose) onUserClose();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tavrel
