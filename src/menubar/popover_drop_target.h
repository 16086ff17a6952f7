#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace tavrel {

// The paths of a drag's URLs when every one is a local file or folder that exists now; none for an
// empty list, a web address, a file that has gone, or any mixture.
std::optional<std::vector<std::filesystem::path>> validatedFileURLs(const QList<QUrl>& urls);

// The popover's drop destination. The view reports the drag's URLs at every enter and move, its
// exit or end, and the drop; this answers whether to take it and tells its owner once per change
// of the targeted state. Permission and files are checked again at the drop.
//
// IMPORTANT: Thread-safety. Main thread only.
class PopoverDropTarget final : public QObject {
  Q_OBJECT

 public:
  struct Callbacks {
    std::function<bool()> acceptsDrop;
    std::function<void(bool)> onDropTargeted;
    std::function<void(std::vector<std::filesystem::path>)> onDrop;
  };

  explicit PopoverDropTarget(Callbacks callbacks, QObject* parent = nullptr);

  // Enter and move alike; true when the drag would be taken (a copy).
  Q_INVOKABLE bool dragUpdated(const QList<QUrl>& urls);
  // Exit and end alike.
  Q_INVOKABLE void dragEnded();
  // True when the drop was taken.
  Q_INVOKABLE bool dropped(const QList<QUrl>& urls);

  bool validDragIsActive() const { return validDragIsActive_; }

 private:
  void setActive(bool active);

  Callbacks callbacks_;
  bool validDragIsActive_ = false;
};

}  // namespace tavrel
