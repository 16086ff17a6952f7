#include "platform/base64.h"

#include <array>

namespace tavrel::platform {
namespace {

constexpr std::string_view standardAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view urlAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string encode(std::span<const std::uint8_t> bytes, std::string_view alphabet, bool pads) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t index = 0;
  for (; index + 3 <= bytes.size(); index += 3) {
    const std::uint32_t group = (bytes[index] << 16) | (bytes[index + 1] << 8) | bytes[index + 2];
    text += alphabet[(group >> 18) & 63];
    text += alphabet[(group >> 12) & 63];
    text += alphabet[(group >> 6) & 63];
    text += alphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - index;
  if (rest > 0) {
    std::uint32_t group = bytes[index] << 16;
    if (rest == 2) group |= bytes[index + 1] << 8;
    text += alphabet[(group >> 18) & 63];
    text += alphabet[(group >> 12) & 63];
    if (rest == 2) text += alphabet[(group >> 6) & 63];
    if (pads) text.append(3 - rest, '=');
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> decode(std::string_view text, std::string_view alphabet, bool padded) {
  std::array<int, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < alphabet.size(); ++i) values[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);

  if (padded) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
    text.remove_suffix(padding);
  }
  if (text.size() % 4 == 1) return std::nullopt;  // no whole byte in a lone character

  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 3 / 4);
  std::uint32_t buffer = 0;
  int bits = 0;
  for (const char c : text) {
    const int value = values[static_cast<unsigned char>(c)];
    if (value < 0) return std::nullopt;
    buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
    }
  }
  return bytes;
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string base64Encode(std::span<const std::uint8_t> bytes) { return encode(bytes, standardAlphabet, true); }
std::string base64Encode(std::string_view bytes) { return base64Encode(asBytes(bytes)); }
std::optional<std::vector<std::uint8_t>> base64Decode(std::string_view text) {
  return decode(text, standardAlphabet, true);
}

std::string base64UrlEncode(std::span<const std::uint8_t> bytes) { return encode(bytes, urlAlphabet, false); }
std::string base64UrlEncode(std::string_view bytes) { return base64UrlEncode(asBytes(bytes)); }
std::optional<std::vector<std::uint8_t>> base64UrlDecode(std::string_view text) {
  return decode(text, urlAlphabet, false);
}

}  // namespace tavrel::platform
