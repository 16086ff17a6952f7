#pragma once

#include <filesystem>
#include <variant>
#include <vector>

namespace tavrel {

// What the island's drag destination reports to its owner.
namespace notch_interaction {
// File paths dropped on the island, in the order the drag carried them.
struct Dropped {
  std::vector<std::filesystem::path> urls;
  friend bool operator==(const Dropped&, const Dropped&) = default;
};
// A click (on release) or an accessibility press on the island.
struct Click {
  friend bool operator==(const Click&, const Click&) = default;
};
struct CollapseRequested {
  friend bool operator==(const CollapseRequested&, const CollapseRequested&) = default;
};
// A drag the island would take came over it.
struct ValidDragEntered {
  friend bool operator==(const ValidDragEntered&, const ValidDragEntered&) = default;
};
// That drag left, ended without a drop, or stopped being acceptable.
struct DragExited {
  friend bool operator==(const DragExited&, const DragExited&) = default;
};
}  // namespace notch_interaction

using NotchInteraction =
    std::variant<notch_interaction::Dropped, notch_interaction::Click, notch_interaction::CollapseRequested,
                 notch_interaction::ValidDragEntered, notch_interaction::DragExited>;

}  // namespace tavrel
