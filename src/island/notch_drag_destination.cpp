#include "island/notch_drag_destination.h"

#include <QMimeData>
#include <QUrl>
#include <utility>

#include "ui/local_file_url.h"

namespace tavrel {

NotchDragDestination::NotchDragDestination(TransferStore& store, NotchLayoutModel& layout,
                                           QuickDropPresentationModel& presentation,
                                           AuthenticationStore& authenticationStore,
                                           std::function<void(const NotchInteraction&)> onInteraction, QObject* parent)
    : QObject(parent),
      store_(store),
      layout_(layout),
      presentation_(presentation),
      authenticationStore_(authenticationStore),
      onInteraction_(std::move(onInteraction)) {}

bool NotchDragDestination::acceptsDrops() const {
  if (!authenticationStore_.canInitiateTransfer()) return false;
  const auto& phase = store_.state().phase;
  if (isIdle(phase) || isChoosing(phase)) return true;
  // A review that would start by itself, or that holds a failed upload, takes nothing more.
  if (const auto* review = reviewState(phase)) {
    return review->startPolicy == TransferStartPolicy::requiresReview && !review->hasRetryPreparedTransfer();
  }
  return false;
}

QRectF NotchDragDestination::islandFrame(QSizeF bounds) const {
  const QSizeF size =
      layout_.islandSize(store_.state(), presentation_.island(), authenticationStore_.canInitiateTransfer());
  if (!(size.width() > 0 && size.height() > 0)) return {};
  return QRectF(QPointF((bounds.width() - size.width()) / 2, 0), size);
}

std::optional<std::vector<std::filesystem::path>> NotchDragDestination::fileURLs(const QMimeData* data) {
  if (!data || !data->hasUrls()) return std::nullopt;
  std::vector<std::filesystem::path> paths;
  for (const QUrl& url : data->urls()) {
    auto path = ui::localFilePath(url);
    if (!path) return std::nullopt;
    paths.push_back(std::move(*path));
  }
  if (paths.empty()) return std::nullopt;
  return paths;
}

std::optional<std::vector<std::filesystem::path>> NotchDragDestination::acceptableURLs(QPointF position, QSizeF bounds,
                                                                                      const QMimeData* data) const {
  if (!acceptsDrops() || !islandFrame(bounds).contains(position)) return std::nullopt;
  return fileURLs(data);
}

bool NotchDragDestination::dragUpdate(QPointF position, QSizeF bounds, const QMimeData* data) {
  if (acceptableURLs(position, bounds, data)) {
    if (!validDragIsActive_) {
      validDragIsActive_ = true;
      onInteraction_(notch_interaction::ValidDragEntered{});
    }
    return true;
  }
  endValidDrag();
  return false;
}

void NotchDragDestination::dragExited() { endValidDrag(); }

bool NotchDragDestination::performDrop(QPointF position, QSizeF bounds, const QMimeData* data) {
  if (auto urls = acceptableURLs(position, bounds, data)) {
    validDragIsActive_ = false;
    onInteraction_(notch_interaction::Dropped{std::move(*urls)});
    return true;
  }
  endValidDrag();
  return false;
}

void NotchDragDestination::click() { onInteraction_(notch_interaction::Click{}); }

void NotchDragDestination::endValidDrag() {
  if (!std::exchange(validDragIsActive_, false)) return;
  onInteraction_(notch_interaction::DragExited{});
}

}  // namespace tavrel
