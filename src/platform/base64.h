#pragma once

// Base64 (RFC 4648): the standard alphabet with "=" padding, and the URL-safe alphabet without
// padding that OAuth uses for PKCE values.
//
//   std::string text = platform::base64UrlEncode(digest);     // "E9Melhoa2Owv..." (no "=")
//   auto bytes = platform::base64Decode("aGk=");               // {'h', 'i'}; std::nullopt if malformed
//
// Decoders refuse characters outside their alphabet, line breaks and misplaced padding.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::platform {

std::string base64Encode(std::span<const std::uint8_t> bytes);
std::string base64Encode(std::string_view bytes);
// Requires padding to a multiple of four characters.
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text);

std::string base64UrlEncode(std::span<const std::uint8_t> bytes);
std::string base64UrlEncode(std::string_view bytes);
// Accepts the unpadded form only.
std::optional<std::vector<std::uint8_t>> base64UrlDecode(std::string_view text);

}  // namespace tavrel::platform
