#pragma once

namespace tavrel {

// The outcome of work that was stopped on request. Never an error, never shown to the user.
struct Cancelled {
  friend bool operator==(const Cancelled&, const Cancelled&) = default;
};

}  // namespace tavrel
