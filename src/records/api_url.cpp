#include "records/api_url.h"

namespace tavrel {

std::optional<platform::Url> apiURL(const platform::Url& base, const std::vector<std::string>& pathSegments) {
  if (base.isEmpty()) return std::nullopt;
  std::string path = "/";
  for (std::size_t i = 0; i < pathSegments.size(); ++i) {
    const std::string& segment = pathSegments[i];
    // "." and ".." are made of allowed characters, so encoding would leave them raw.
    if (segment.empty() || segment == "." || segment == "..") return std::nullopt;
    if (i > 0) path += '/';
    path += platform::percentEncode(segment, platform::CharacterSet::unreserved());
  }
  platform::Url url = base;
  if (!url.setPath(path)) return std::nullopt;
  return url;
}

}  // namespace tavrel
