#pragma once

#include <functional>
#include <string>

namespace tavrel {

// The program's callbacks into the menu bar, filled by its coordinator. The controller calls
// `onWillShow` itself and hands the other eight to the popover.
struct MenuBarControllerActions {
  std::function<void()> onWillShow;
  std::function<void()> onToggleQuickDrop;
  std::function<void()> onViewTransfers;
  std::function<void()> onViewTransferSettings;
  std::function<void(const std::string& transferID)> onViewRecentTransfer;
  std::function<void(const std::string& downloadSlug)> onCopyRecentTransferLink;
  std::function<void()> onManageAccount;
  std::function<void()> onSignOut;
  std::function<void()> onQuit;
};

}  // namespace tavrel
