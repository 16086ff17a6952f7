#include "platform/content_types.h"

#include <gio/gio.h>

#include <memory>

namespace tavrel::platform {
namespace {

struct GFreeDeleter {
  void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFreeDeleter>;

struct GObjectDeleter {
  void operator()(gpointer object) const { g_object_unref(object); }
};

std::optional<std::string> takeText(gchar* text) {
  GText owned(text);
  if (!owned || *owned == '\0') return std::nullopt;
  return std::string(owned.get());
}

// A name-only guess that matched nothing comes back as the "unknown" type with uncertain set;
// that is the database saying it knows no type.
std::optional<std::string> guessByName(const std::string& name) {
  gboolean uncertain = FALSE;
  GText type(g_content_type_guess(name.c_str(), nullptr, 0, &uncertain));
  if (!type) return std::nullopt;
  if (uncertain && g_content_type_is_unknown(type.get())) return std::nullopt;
  return std::string(type.get());
}

}  // namespace

std::optional<std::string> contentTypeForFileName(std::string_view fileName) {
  if (fileName.empty()) return std::nullopt;
  return guessByName(std::string(fileName));
}

std::optional<std::string> contentTypeOfItem(const std::filesystem::path& path) {
  std::unique_ptr<GFile, GObjectDeleter> file(g_file_new_for_path(path.c_str()));
  std::unique_ptr<GFileInfo, GObjectDeleter> info(
      g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_FAST_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                        nullptr, nullptr));
  if (!info) return std::nullopt;
  const char* type = g_file_info_get_attribute_string(info.get(), G_FILE_ATTRIBUTE_STANDARD_FAST_CONTENT_TYPE);
  if (type == nullptr || *type == '\0' || g_content_type_is_unknown(type)) return std::nullopt;
  return std::string(type);
}

std::optional<std::string> contentTypeForPathExtension(std::string_view extension) {
  if (extension.empty()) return std::nullopt;
  // The database matches names against globs; a neutral stem leaves only the extension to decide.
  return guessByName("file." + std::string(extension));
}

std::optional<std::string> preferredMimeType(std::string_view contentType) {
  if (contentType.empty()) return std::nullopt;
  const std::string type(contentType);
  return takeText(g_content_type_get_mime_type(type.c_str()));
}

bool conformsToImage(std::string_view contentType) {
  const std::string type(contentType);
  return !type.empty() && g_content_type_is_a(type.c_str(), "image/*");
}

bool conformsToMovie(std::string_view contentType) {
  const std::string type(contentType);
  return !type.empty() && g_content_type_is_a(type.c_str(), "video/*");
}

std::string mimeTypeForFileName(std::string_view fileName) {
  if (auto type = contentTypeForFileName(fileName)) {
    if (auto mime = preferredMimeType(*type)) return *mime;
  }
  if (auto type = contentTypeForPathExtension(pathExtension(fileName))) {
    if (auto mime = preferredMimeType(*type)) return *mime;
  }
  return "application/octet-stream";
}

std::string_view pathExtension(std::string_view fileName) {
  const auto dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return fileName.substr(dot + 1);
}

}  // namespace tavrel::platform
