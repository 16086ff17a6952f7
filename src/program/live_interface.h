#pragma once

#include <memory>

#include "desktop/system_transfer_file_picker.h"
#include "platform/main_queue.h"
#include "program/app_coordinator.h"
#include "program/live_application_shell.h"
#include "ui/accessibility_announcing.h"

namespace tavrel {

// The program's real windows behind the coordinator's ports: the tray icon with its popover, and
// the onboarding window. The file dialogs of `picker` open from the popover while a menu bar exists.
std::function<std::unique_ptr<MenuBarControlling>(MenuBarDependencies)> liveMenuBarFactory(
    std::shared_ptr<platform::MainQueue> mainQueue, std::shared_ptr<SystemTransferFilePicker> picker);

std::function<std::unique_ptr<OnboardingWindowControlling>(OnboardingDependencies)> liveOnboardingWindowFactory(
    std::shared_ptr<platform::MainQueue> mainQueue, std::shared_ptr<ui::AccessibilityAnnouncing> announcer,
    std::shared_ptr<LiveApplicationShell> shell);

// The share handoff: claims what the share program leaves in the shared container, on start-up,
// on its session-bus signal and whenever the program becomes active, and hands it to the transfer
// store. Without a container the program runs on and simply finds nothing.
std::function<std::shared_ptr<void>(AppCoordinator&)> liveShareHandoff(std::shared_ptr<platform::MainQueue> mainQueue);

}  // namespace tavrel
