#include "transfer/media_thumbnail_loader.h"

#include <array>
#include <charconv>

namespace tavrel {
namespace {

// Two decimals without the locale: the desktop toolkit sets the process locale, and a decimal
// comma would make the same thumbnail a different key.
std::string twoDecimals(double value) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 2);
  if (result.ec != std::errc()) return "0.00";
  return std::string(buffer.data(), result.ptr);
}

bool keptInFileUrlPath(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')) return true;
  switch (byte) {
    case '-': case '.': case '_': case '~': case '/': case '!': case '$': case '&': case '\'':
    case '(': case ')': case '*': case '+': case ',': case '=': case ':': case '@':
      return true;
    default:
      return false;
  }
}

std::string fileUrlString(const std::filesystem::path& file) {
  const std::string path = std::filesystem::absolute(file).lexically_normal().string();
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string url = "file://";
  url.reserve(url.size() + path.size());
  for (const char character : path) {
    const auto byte = static_cast<unsigned char>(character);
    if (keptInFileUrlPath(byte)) {
      url += character;
    } else {
      url += '%';
      url += hex[byte >> 4];
      url += hex[byte & 0x0F];
    }
  }
  return url;
}

}  // namespace

MediaThumbnailLoader::MediaThumbnailLoader(platform::MainQueue& mainQueue,
                                           std::shared_ptr<platform::ThumbnailGenerating> generator,
                                           std::shared_ptr<ThumbnailCache> cache)
    : mainQueue_(mainQueue), generator_(std::move(generator)), cache_(std::move(cache)) {}

std::string MediaThumbnailLoader::cacheKey(const std::filesystem::path& file, ThumbnailSize size, double scale) {
  return fileUrlString(file) + "|" + twoDecimals(size.width) + "x" + twoDecimals(size.height) + "@" +
         twoDecimals(scale);
}

void MediaThumbnailLoader::load(const std::filesystem::path& file, ThumbnailSize size, double scale) {
  const std::string key = cacheKey(file, size, scale);
  if (state_->representedKey == key && state_->image.value()) return;
  cancel();
  state_->representedKey = key;
  if (auto cached = cache_->image(key)) {
    state_->image.set(std::move(cached));
    return;
  }
  state_->image.set(nullptr);

  auto request = std::make_shared<const platform::ThumbnailRequest>(platform::ThumbnailRequest{file, size.width, size.height, scale});
  state_->request = request;
  std::weak_ptr<State> weakState = state_;
  auto* mainQueue = &mainQueue_;
  auto cache = cache_;
  generator_->generate(request, [mainQueue, weakState, request, cache, key](Image image) {
    mainQueue->post([weakState, request, cache, key, image = std::move(image)]() mutable {
      const auto state = weakState.lock();
      // A cancelled or replaced request: its result is not ours to show or cache.
      if (!state || state->request != request) return;
      state->request = nullptr;
      if (!image) return;
      cache->store(key, image);
      state->image.set(std::move(image));
    });
  });
}

void MediaThumbnailLoader::cancel() {
  if (!state_->request) return;
  generator_->cancel(state_->request);
  state_->request = nullptr;
}

}  // namespace tavrel
