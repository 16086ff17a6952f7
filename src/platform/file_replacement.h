#pragma once

// Replaces a small file of the user's atomically: a temporary file beside it, flushed to disk, then
// renamed over it, and the folder flushed, so a crash leaves either the old or the new file, never
// half of one.
//
// A link to a file, as dotfile managers make, is followed to the end of its chain (relative targets
// from the folder of the link that names them) and kept: the file at its end is replaced, in that
// file's own folder, with that file's own permissions and, where the user may give it, its group.
// A link whose end is missing gets that file made, but only in a folder that exists (an unmounted
// drive leaves the link as it is and the write fails). A link to what is not a file (a device, a
// FIFO, a folder) holds nothing to keep and is replaced like anything else in the path's place. A
// chain that loops or cannot be read is kept, and nothing is written.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/expected.h"

namespace tavrel::platform {

struct FileReplacementOptions {
  // The permissions of a file made anew: nothing in the path's place, or nothing there to keep.
  ::mode_t newFileMode = 0600;
  // Whether a regular file in the path's own place keeps its permissions and group as a linked one
  // does; otherwise it gets newFileMode.
  bool keepsOwnFilePermissions = false;
};

struct FileReplacement {
  std::filesystem::path file;  // the file written: the path, or the end of its link
  // The group the file had and could not keep (it was saved without the group's bits), and why.
  std::optional<::gid_t> lostGroup;
  int groupError = 0;
};

struct FileReplacementFailure {
  enum class Step { followLink, makeFolder, makeTemporaryFile, write, rename };
  Step step = Step::write;
  int error = 0;               // the errno of the step
  std::filesystem::path file;  // the file it was writing (the path itself when the link could not be followed)
};

// Writes `content` in place of the file at `path`; missing folders on the way to the path's own
// file are made private to the user (never those at the end of a link).
Expected<FileReplacement, FileReplacementFailure> replaceFile(const std::filesystem::path& path, std::string_view content,
                                                              const FileReplacementOptions& options = {});

}  // namespace tavrel::platform
