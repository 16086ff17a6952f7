#pragma once

// The shared container's "Pending" folder, through which the share program hands requests to the
// program and the program answers them. Both deliverables use this type.
//
//   <container>/Pending/<UUID>.json          a request (share program)
//   <container>/Pending/<UUID>.json.tmp      a request being written
//   <container>/Pending/<UUID>.ack.json      the program's acknowledgement
//   <container>/Pending/<UUID>.ack.json.tmp  an acknowledgement being written
//
// The container is "$XDG_DATA_HOME/tavrel/group.com.tavrel.macos". Any program of the same user may
// write there, so the container and "Pending" are kept 0700, every file is opened without following
// links and without blocking, only regular files are read, and never more than the 2 MiB limit plus
// one byte. Files appear under their final names only by a rename over the target, so a reader never
// sees a half-written record, and there is no moment without one. Each call opens "Pending" once,
// without following a link, and does all its work relative to that descriptor, so the folder
// swapped for a link meanwhile never leads a read, write or removal outside it.
//
// Stateless beyond its folder; every call is blocking file I/O on the caller's thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "platform/posix_files.h"
#include "platform/uuid.h"
#include "sharehandoff/share_handoff_records.h"
#include "sharehandoff/share_handoff_storage_error.h"

namespace tavrel {

class ShareHandoffStorage {
 public:
  template <typename T>
  using Result = platform::Expected<T, ShareHandoffStorageError>;

  static constexpr const char* applicationGroup = "group.com.tavrel.macos";
  static constexpr std::size_t maximumItemCount = 100;
  static constexpr std::size_t maximumBookmarkSize = 524'288;
  static constexpr std::int64_t maximumFileSize = 2'097'152;
  static constexpr std::chrono::seconds staleAge{900};

  struct PendingEntry {
    platform::Uuid requestID;                      // from the file name, in whatever case it was written
    std::optional<ShareHandoffRequest> request;    // absent when the file was refused
    std::optional<std::string> rejectionMessage;   // why, when refused
    std::filesystem::path file;                    // the file as listed

    friend bool operator==(const PendingEntry&, const PendingEntry&) = default;
  };

  // A request file as listed, not yet read.
  struct PendingRequestFile {
    platform::Uuid requestID;    // from the file name, in whatever case it was written
    std::filesystem::path file;  // the file as listed

    friend bool operator==(const PendingRequestFile&, const PendingRequestFile&) = default;
  };

  // What an acknowledgement found of its request. The request file's removal decides who has the
  // request: the program, whose acknowledgement removed it, or the share program, which withdrew it
  // first (Cancel). Only one of the two removals can succeed.
  enum class AnsweredRequest { taken, withdrawn };

  // "$XDG_DATA_HOME/tavrel/group.com.tavrel.macos", or under "~/.local/share" when the variable is
  // unset or not absolute; appGroupUnavailable when neither gives an absolute folder.
  static Result<std::filesystem::path> defaultContainerDirectory();
  // A storage on the default container. Touches nothing on disk.
  static Result<ShareHandoffStorage> make();
  // Touches nothing on disk.
  explicit ShareHandoffStorage(std::filesystem::path containerDirectory);

  const std::filesystem::path& pendingDirectory() const { return pendingDirectory_; }
  std::filesystem::path requestFile(const platform::Uuid& id) const;
  std::filesystem::path temporaryRequestFile(const platform::Uuid& id) const;
  std::filesystem::path acknowledgementFile(const platform::Uuid& id) const;
  std::filesystem::path temporaryAcknowledgementFile(const platform::Uuid& id) const;

  // Creates the container and "Pending" (0700) when missing and narrows them to 0700 when wider.
  // Refuses (appGroupUnavailable) a container or folder that is a link, not a folder, or not ours.
  Result<platform::Unit> ensurePendingDirectory() const;

  // Schema version 1, 1 to 100 items, each with a name and a bookmark of 1 to 524,288 bytes.
  static Result<platform::Unit> validate(const ShareHandoffRequest& request);

  // Removes every entry (hidden ones excepted) whose modification time is more than 900 seconds
  // before `now`; removal errors are ignored.
  Result<platform::Unit> removeStaleEntries(std::chrono::system_clock::time_point now) const;

  // Every request file ("<UUID>.json", the UUID in either case), ordered by the upper-case UUID
  // text, without reading any. Program only.
  Result<std::vector<PendingRequestFile>> pendingRequestFiles() const;
  // pendingRequestFiles(), each read and checked. Program only.
  Result<std::vector<PendingEntry>> pendingEntries() const;
  // Reads and checks one request file: a regular file of at most 2 MiB whose name is its id. Neither
  // the file nor its folder is followed when it is a link.
  Result<ShareHandoffRequest> readRequest(const std::filesystem::path& file) const;
  // Reads and checks a listed request file as readRequest() does, through "Pending" opened and
  // checked afresh. Program only; may run on any thread.
  Result<ShareHandoffRequest> readPendingRequest(const PendingRequestFile& listed) const;
  // Stores the acknowledgement, then removes the request file (and `listedRequestFile`, the file as
  // it was listed, when its name differs). `withdrawn` when neither was there any more: the share
  // program gave up the request first, and the answer should be taken back. Program only.
  Result<AnsweredRequest> writeAcknowledgement(const ShareHandoffAcknowledgement& acknowledgement,
                                               const std::optional<std::filesystem::path>& listedRequestFile = {}) const;
  // Program only: takes back the answer to a request the share program withdrew; errors are ignored.
  void removeAcknowledgement(const platform::Uuid& id) const;

  // Share program only: stores a checked request under its final name.
  Result<platform::Unit> write(const ShareHandoffRequest& request) const;
  // Share program only: the acknowledgement of `id`, if one is there. A file that was read is removed
  // whatever it held, so a damaged or foreign answer cannot fail every retry until the purge.
  Result<std::optional<ShareHandoffAcknowledgement>> readAcknowledgement(const platform::Uuid& id) const;
  // Share program only: removes the request and its temporary file; errors are ignored. Whether it
  // removed the request file: then the program can no longer take it. When not, the program may
  // have taken it, and its acknowledgement is already there.
  bool removeRequestFiles(const platform::Uuid& id) const;

 private:
  // Ensures the folders as ensurePendingDirectory does and opens "Pending" without following links.
  Result<platform::UniqueFd> openPendingDirectory() const;
  Result<ShareHandoffRequest> readRequestAt(int folder, const std::string& name) const;

  std::filesystem::path containerDirectory_;
  std::filesystem::path pendingDirectory_;
};

}  // namespace tavrel
