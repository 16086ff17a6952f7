#include "menubar/popover_drop_target.h"

#include <system_error>

#include "ui/local_file_url.h"

namespace tavrel {

std::optional<std::vector<std::filesystem::path>> validatedFileURLs(const QList<QUrl>& urls) {
  if (urls.isEmpty()) return std::nullopt;
  std::vector<std::filesystem::path> paths;
  paths.reserve(static_cast<std::size_t>(urls.size()));
  for (const auto& url : urls) {
    auto path = ui::localFilePath(url);
    if (!path) return std::nullopt;
    std::error_code error;
    // Links are followed: one whose target is gone is not there to send. A live link passes here
    // and the preparer refuses it with its own message.
    if (!path->is_absolute() || !std::filesystem::exists(std::filesystem::status(*path, error))) {
      return std::nullopt;
    }
    paths.push_back(std::move(*path));
  }
  return paths;
}

PopoverDropTarget::PopoverDropTarget(Callbacks callbacks, QObject* parent)
    : QObject(parent), callbacks_(std::move(callbacks)) {}

void PopoverDropTarget::setActive(bool active) {
  if (validDragIsActive_ == active) return;
  validDragIsActive_ = active;
  if (callbacks_.onDropTargeted) callbacks_.onDropTargeted(active);
}

bool PopoverDropTarget::dragUpdated(const QList<QUrl>& urls) {
  const bool accepted = callbacks_.acceptsDrop && callbacks_.acceptsDrop() && validatedFileURLs(urls).has_value();
  setActive(accepted);
  return accepted;
}

void PopoverDropTarget::dragEnded() { setActive(false); }

bool PopoverDropTarget::dropped(const QList<QUrl>& urls) {
  std::optional<std::vector<std::filesystem::path>> paths;
  if (callbacks_.acceptsDrop && callbacks_.acceptsDrop()) paths = validatedFileURLs(urls);
  setActive(false);
  if (!paths) return false;
  if (callbacks_.onDrop) callbacks_.onDrop(std::move(*paths));
  return true;
}

}  // namespace tavrel
