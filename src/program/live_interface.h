#pragma once

#include <memory>

#include "platform/main_queue.h"
#include "program/app_coordinator.h"
#include "program/live_application_shell.h"
#include "ui/accessibility_announcing.h"

namespace tavrel {

// The program's real windows behind the coordinator's ports: the tray icon with its popover, and
// the onboarding window.
std::function<std::unique_ptr<MenuBarControlling>(MenuBarDependencies)> liveMenuBarFactory(
    std::shared_ptr<platform::MainQueue> mainQueue);

std::function<std::unique_ptr<OnboardingWindowControlling>(OnboardingDependencies)> liveOnboardingWindowFactory(
    std::shared_ptr<platform::MainQueue> mainQueue, std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
    std::shared_ptr<LiveApplicationShell> shell);

}  // namespace tavrel
