#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace tavrel::platform {

// Ends a subscription when destroyed or reset. Move-only.
//
// IMPORTANT: Thread-safety. Subscriptions and the observables they belong to live on the main
// thread. A subscription may outlive its observable; ending it then does nothing.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  void reset() {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  }
  explicit operator bool() const { return static_cast<bool>(cancel_); }

 private:
  std::function<void()> cancel_;
};

enum class Delivery { everyChange, removeDuplicates };

// A published value. subscribe() delivers the current value at once, then every set().
// Observers run synchronously inside set(), in subscription order. An observer may end its own
// or another subscription, or subscribe anew, while being notified: an observer ended during a
// notification is not called afterwards; one added during it first hears the next change.
template <typename T>
class Observable {
 public:
  explicit Observable(T initial = T{}) : state_(std::make_shared<State>(std::move(initial))) {}

  const T& value() const { return state_->value; }

  void set(T newValue) {
    state_->value = std::move(newValue);
    notify();
  }

  // Changes the value in place and notifies once.
  template <typename Mutator>
  void mutate(Mutator&& mutator) {
    std::forward<Mutator>(mutator)(state_->value);
    notify();
  }

  // Subscribing leaves the value as it is, so a read-only view of an observable may subscribe.
  [[nodiscard]] Subscription subscribe(std::function<void(const T&)> observer,
                                       Delivery delivery = Delivery::everyChange) const {
    auto entry = std::make_shared<Entry>(Entry{std::move(observer), delivery, nullptr});
    if (delivery == Delivery::removeDuplicates) entry->last = std::make_unique<T>(state_->value);
    const auto key = state_->nextKey++;
    state_->observers.emplace(key, entry);
    entry->observer(state_->value);
    std::weak_ptr<State> weakState = state_;
    return Subscription([weakState, key] {
      if (auto state = weakState.lock()) state->observers.erase(key);
    });
  }

 private:
  struct Entry {
    std::function<void(const T&)> observer;
    Delivery delivery;
    std::unique_ptr<T> last;
  };
  struct State {
    explicit State(T initial) : value(std::move(initial)) {}
    T value;
    std::map<std::size_t, std::shared_ptr<Entry>> observers;
    std::size_t nextKey = 0;
  };

  void notify() {
    auto state = state_;  // keeps the state alive if an observer drops this observable
    const auto snapshot = state->observers;
    for (const auto& [key, entry] : snapshot) {
      if (!state->observers.contains(key)) continue;
      if (entry->delivery == Delivery::removeDuplicates) {
        if (entry->last && *entry->last == state->value) continue;
        entry->last = std::make_unique<T>(state->value);
      }
      entry->observer(state->value);
    }
  }

  std::shared_ptr<State> state_;
};

}  // namespace tavrel::platform
