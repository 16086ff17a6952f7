#include "service/request_window.h"

#include <algorithm>

#include "transfer/cancelled.h"

namespace tavrel {

RequestWindow::RequestWindow(std::size_t limit) : limit_(std::max<std::size_t>(1, limit)), ceiling_(limit_) {}

bool RequestWindow::enter(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait(lock, stop, [&] { return inside_ < limit_; })) return false;
  ++inside_;
  return true;
}

void RequestWindow::leave() {
  {
    std::lock_guard lock(mutex_);
    --inside_;
  }
  changed_.notify_all();
}

void RequestWindow::shrink() {
  std::lock_guard lock(mutex_);
  limit_ = std::max<std::size_t>(1, limit_ / 2);
}

void RequestWindow::grow() {
  {
    std::lock_guard lock(mutex_);
    limit_ = std::min(ceiling_, limit_ + 1);
  }
  changed_.notify_all();
}

std::size_t RequestWindow::limit() const {
  std::lock_guard lock(mutex_);
  return limit_;
}

WindowPlace::WindowPlace(RequestWindow* window, std::stop_token stop) : window_(window) {
  if (window_ && !window_->enter(std::move(stop))) throw Cancelled{};
}

WindowPlace::~WindowPlace() {
  if (window_) window_->leave();
}

}  // namespace tavrel
