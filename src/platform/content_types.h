#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::platform {

// Content types as the system's shared MIME database knows them, through GIO's content-type API.
// On Linux a content type is a MIME type name ("image/jpeg"); the functions below keep the two
// notions apart anyway, so callers say which one they mean.
//
// Every answer comes from the database: nothing here is a table of our own. The database is
// judged by name only; file contents are never read, so asking is cheap and never blocks on I/O
// beyond the database itself.
//
// IMPORTANT: Thread-safety. Every function may be called from any thread; GIO serialises access
// to the database.

// The type the system reports for a regular file with this name (the last path component), as
// the file manager's fast query does. None when the database claims no type for the name.
std::optional<std::string> contentTypeForFileName(std::string_view fileName);

// The type the system reports for the item at `path`, following a final symbolic link: folders
// and other special files get their inode types ("inode/directory"), regular files are judged by
// name. None when the item cannot be queried or no type claims it.
std::optional<std::string> contentTypeOfItem(const std::filesystem::path& path);

// The type that a path extension (without its dot, any case) alone gives a piece of data.
// None for an empty extension or one that no type claims.
std::optional<std::string> contentTypeForPathExtension(std::string_view extension);

// The type's preferred MIME type; none when it has none.
std::optional<std::string> preferredMimeType(std::string_view contentType);

// Whether the type is, or derives from, an image type.
bool conformsToImage(std::string_view contentType);
// Whether the type is, or derives from, a movie (video) type.
bool conformsToMovie(std::string_view contentType);

// The MIME type to send for a regular file: the preferred MIME type of the type the system
// reports for its name, else that of the type its extension gives, else
// "application/octet-stream".
std::string mimeTypeForFileName(std::string_view fileName);

// The text after the last "." of a file name, or empty when there is none. A leading dot only
// (".profile") gives no extension, as neither does a trailing one. The result views into `fileName`.
std::string_view pathExtension(std::string_view fileName);
// A name that ends with the call would leave its extension dangling.
std::string_view pathExtension(std::string&& fileName) = delete;

}  // namespace tavrel::platform
