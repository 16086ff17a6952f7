#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stop_token>

namespace tavrel {

// How many of something may run at once (files of an upload run, its requests, its part buffers).
// The limit can move while they run: a lowered limit lets no one new in until enough have left.
//
// IMPORTANT: Thread-safety. Every operation may be called from any thread.
class RequestWindow {
 public:
  explicit RequestWindow(std::size_t limit);

  // Waits for a place; false when `stop` came first.
  bool enter(std::stop_token stop);
  void leave();
  // Halves the limit, down to one.
  void shrink();
  // Raises the limit by one, up to where it started.
  void grow();
  std::size_t limit() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::size_t inside_ = 0;
  std::size_t limit_;
  const std::size_t ceiling_;
};

// A place in a window for as long as it lives; none is needed without a window. A stop while
// waiting for one ends the caller as cancelled (throws Cancelled).
class WindowPlace {
 public:
  WindowPlace(RequestWindow* window, std::stop_token stop);
  ~WindowPlace();
  WindowPlace(const WindowPlace&) = delete;
  WindowPlace& operator=(const WindowPlace&) = delete;

 private:
  RequestWindow* window_;
};

}  // namespace tavrel
