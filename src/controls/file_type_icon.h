#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::FileTypeIcon {

// The kind of content a list row stands for, judged from its MIME type.
enum class Category { image, video, audio, text, json, pdf, archive, application, unknown };

// The content type to classify: the given type trimmed and in lower case; when that is empty or
// the generic "application/octet-stream", the MIME type the file name's extension gives (when the
// shared MIME database knows one); otherwise the trimmed type as it stands (possibly empty).
std::string normalizedMIMEType(const std::optional<std::string>& mimeType,
                               const std::optional<std::string>& fileName);

// Classifies by the normalised type's prefix; "application/octet-stream" that no extension could
// refine is `unknown`.
Category category(const std::optional<std::string>& mimeType, const std::optional<std::string>& fileName);

// The symbol standing for a transfer: one per kind for a single file (a file count of 0 or 1
// classifies the first type together with the name), a stack for several files of one kind, and
// "square.stack.3d.up" for a mixture or for several files with no type listed.
std::string symbolName(const std::vector<std::string>& mimeTypes, int fileCount, const std::string& fileName);

}  // namespace tavrel::FileTypeIcon
