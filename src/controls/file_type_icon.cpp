#include "controls/file_type_icon.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/content_types.h"

namespace tavrel::FileTypeIcon {
namespace {

std::string trimmedLowercase(std::string_view text) {
  const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!text.empty() && isSpace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

std::string_view lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

struct Symbols {
  std::string_view single;
  std::string_view several;
};

Symbols symbolsOf(Category category) {
  switch (category) {
    case Category::image: return {"photo", "photo.stack"};
    case Category::video: return {"film", "film.stack"};
    case Category::audio: return {"beats.headphones", "music.note.list"};
    case Category::text: return {"doc.plaintext", "doc.on.doc"};
    case Category::json: return {"curlybraces", "curlybraces.square"};
    case Category::pdf: return {"text.document.fill", "doc.on.doc"};
    case Category::archive: return {"zipper.page", "archivebox.fill"};
    case Category::application: return {"macwindow", "macwindow.on.rectangle"};
    case Category::unknown: break;
  }
  return {"app.dashed", "square.stack.3d.up"};
}

}  // namespace

std::string normalizedMIMEType(const std::optional<std::string>& mimeType,
                               const std::optional<std::string>& fileName) {
  std::string type = mimeType ? trimmedLowercase(*mimeType) : std::string();
  if (!type.empty() && type != "application/octet-stream") return type;
  if (fileName && !fileName->empty()) {
    const auto extension = platform::pathExtension(lastPathComponent(*fileName));
    if (!extension.empty()) {
      if (const auto contentType = platform::contentTypeForPathExtension(extension)) {
        if (const auto preferred = platform::preferredMimeType(*contentType)) return trimmedLowercase(*preferred);
      }
    }
  }
  return type;
}

Category category(const std::optional<std::string>& mimeType, const std::optional<std::string>& fileName) {
  const std::string type = normalizedMIMEType(mimeType, fileName);
  const auto startsWith = [&](std::string_view prefix) { return type.starts_with(prefix); };
  const auto contains = [&](std::string_view part) { return type.find(part) != std::string::npos; };
  if (startsWith("image/")) return Category::image;
  if (startsWith("video/")) return Category::video;
  if (startsWith("audio/")) return Category::audio;
  if (startsWith("text/")) return Category::text;
  if (startsWith("application/json")) return Category::json;
  if (contains("pdf")) return Category::pdf;
  if (contains("zip") || contains("compressed")) return Category::archive;
  // Generic binary data says nothing about its content: it is unknown, not an application.
  if (type == "application/octet-stream") return Category::unknown;
  if (startsWith("application/")) return Category::application;
  return Category::unknown;
}

std::string symbolName(const std::vector<std::string>& mimeTypes, int fileCount, const std::string& fileName) {
  if (fileCount < 2) {
    const std::optional<std::string> first =
        mimeTypes.empty() ? std::nullopt : std::optional<std::string>(mimeTypes.front());
    return std::string(symbolsOf(category(first, fileName)).single);
  }
  std::set<Category> categories;
  for (const auto& type : mimeTypes) categories.insert(category(type, std::nullopt));
  if (categories.size() == 1) return std::string(symbolsOf(*categories.begin()).several);
  return "square.stack.3d.up";
}

}  // namespace tavrel::FileTypeIcon
