#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

namespace tavrel::platform {

// Wraps an error value so that Expected<T, E> can be built from it unambiguously.
template <typename E>
struct Unexpected {
  E error;
};
template <typename E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
  return Unexpected<std::decay_t<E>>{std::forward<E>(error)};
}

template <typename T, typename E>
class Expected;

namespace detail {
template <typename>
struct IsUnexpected : std::false_type {};
template <typename E>
struct IsUnexpected<Unexpected<E>> : std::true_type {};
template <typename>
struct IsExpected : std::false_type {};
template <typename T, typename E>
struct IsExpected<Expected<T, E>> : std::true_type {};
}  // namespace detail

// A value or an error; the small part of std::expected that we need until the toolchain has it.
template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(implicit)
  // Also from what T is made of, as std::expected takes it, built in place: returning one case of a
  // variant T then moves no variant, a move whose index g++ 12 loses under AddressSanitizer. Never from
  // another Expected: a bool would be made of its hasValue(), and its error lost.
  template <typename U>
    requires(!std::is_same_v<std::remove_cvref_t<U>, T> && !detail::IsExpected<std::remove_cvref_t<U>>::value &&
             !detail::IsUnexpected<std::remove_cvref_t<U>>::value && std::is_constructible_v<T, U &&>)
  explicit(!std::is_convertible_v<U&&, T>) Expected(U&& value)  // NOLINT(implicit)
      : storage_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <typename G>
  Expected(Unexpected<G> error) : storage_(std::in_place_index<1>, std::move(error.error)) {}  // NOLINT

  bool hasValue() const { return storage_.index() == 0; }
  explicit operator bool() const { return hasValue(); }

  T& value() & { assert(hasValue()); return std::get<0>(storage_); }
  const T& value() const& { assert(hasValue()); return std::get<0>(storage_); }
  T&& value() && { assert(hasValue()); return std::get<0>(std::move(storage_)); }
  const E& error() const { assert(!hasValue()); return std::get<1>(storage_); }

  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

 private:
  std::variant<T, E> storage_;
};

// For operations that yield nothing but may fail.
struct Unit {
  friend bool operator==(Unit, Unit) { return true; }
};

}  // namespace tavrel::platform
