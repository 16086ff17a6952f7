#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::platform {

// A 128-bit UUID. Text form: 36 characters, upper-case hexadecimal, as the service and the stored
// files expect; parse() accepts either case.
class Uuid {
 public:
  Uuid() = default;  // all zero
  explicit Uuid(std::array<std::uint8_t, 16> bytes) : bytes_(bytes) {}

  // A random (version 4) UUID from the operating system's random source.
  static Uuid generate();
  static std::optional<Uuid> parse(std::string_view text);

  std::string toString() const;
  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

  friend auto operator<=>(const Uuid&, const Uuid&) = default;
  friend bool operator==(const Uuid&, const Uuid&) = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

// A distinct identity type wrapping one UUID, so that identities of different kinds never mix.
template <typename Tag>
struct Id {
  Uuid uuid;

  static Id generate() { return Id{Uuid::generate()}; }
  static std::optional<Id> parse(std::string_view text) {
    if (auto uuid = Uuid::parse(text)) return Id{*uuid};
    return std::nullopt;
  }
  std::string toString() const { return uuid.toString(); }

  friend auto operator<=>(const Id&, const Id&) = default;
  friend bool operator==(const Id&, const Id&) = default;
};

struct UuidHash {
  std::size_t operator()(const Uuid& uuid) const noexcept;
};

}  // namespace tavrel::platform

template <>
struct std::hash<tavrel::platform::Uuid> {
  std::size_t operator()(const tavrel::platform::Uuid& uuid) const noexcept {
    return tavrel::platform::UuidHash{}(uuid);
  }
};

template <typename Tag>
struct std::hash<tavrel::platform::Id<Tag>> {
  std::size_t operator()(const tavrel::platform::Id<Tag>& id) const noexcept {
    return tavrel::platform::UuidHash{}(id.uuid);
  }
};
