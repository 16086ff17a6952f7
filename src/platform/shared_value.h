#pragma once

#include <memory>
#include <utility>

namespace tavrel::platform {

// An immutable value held once and shared by every copy: copying costs a reference count, however
// large the value. Reads like a pointer to const; edit() copies first when anyone else holds it.
// Equal when both share one value, else when the values compare equal.
//
// IMPORTANT: Thread-safety. Copies may be read and dropped on any thread at once; edit() needs the
// caller to own this copy alone, as any write does.
template <typename T>
class SharedValue {
 public:
  SharedValue() : value_(defaultValue()) {}
  SharedValue(T value) : value_(std::make_shared<T>(std::move(value))) {}  // NOLINT: reads as a T

  const T& get() const noexcept { return *value_; }
  const T& operator*() const noexcept { return *value_; }
  const T* operator->() const noexcept { return value_.get(); }
  operator const T&() const noexcept { return *value_; }  // NOLINT: passes where a const T& is taken

  T& edit() {
    if (value_.use_count() != 1) value_ = std::make_shared<T>(*value_);
    return *value_;
  }

  bool sharesWith(const SharedValue& other) const noexcept { return value_ == other.value_; }

  friend bool operator==(const SharedValue& a, const SharedValue& b) {
    return a.value_ == b.value_ || *a.value_ == *b.value_;
  }
  friend bool operator==(const SharedValue& a, const T& b) { return *a.value_ == b; }

 private:
  static const std::shared_ptr<T>& defaultValue() {
    static const auto value = std::make_shared<T>();
    return value;
  }

  std::shared_ptr<T> value_;
};

}  // namespace tavrel::platform
