#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_files.h"
#include "transfer/transfer_defaults.h"
#include "transfer/transfer_selection.h"

namespace tavrel {

// One regular file to upload.
struct TransferFile {
  // Our own identity of the file towards the service: an upper-case UUID made at preparation.
  std::string referenceID;
  // Where the bytes are read from: an absolute path, kept as text. A std::filesystem::path keeps
  // every component as a path of its own, some 300 bytes a file, for a value read once.
  std::string sourceURL;
  std::string relativePath;  // "/"-separated, starting with the top-level item's name
  std::int64_t size = 0;     // at least 1
  std::string mimeType;
  // The file as preparation saw it; the upload sends it only while it is still that file.
  std::optional<platform::FileIdentity> identity;

  friend bool operator==(const TransferFile&, const TransferFile&) = default;
};

// The files of a prepared transfer, held once and shared by every copy: a transfer of a hundred
// thousand files goes from preparation to the store, the engine, every progress report, the
// completed transfer and the recent list for the cost of a reference count. Reads like a const
// std::vector; edit() changes it in place, copying first when anyone else holds it. The sum of the
// sizes is kept with the files. Equal when both share one list, else when the files are equal.
//
// IMPORTANT: Thread-safety. Copies may be read and dropped on any thread at once; edit() and
// push_back() need the caller to own this copy alone, as any write does.
class TransferFileList {
 public:
  using value_type = TransferFile;
  using size_type = std::size_t;
  using const_iterator = std::vector<TransferFile>::const_iterator;
  using iterator = const_iterator;

  TransferFileList();
  TransferFileList(std::vector<TransferFile> files);  // NOLINT: reads as the list it holds
  TransferFileList(std::initializer_list<TransferFile> files);

  std::size_t size() const noexcept { return storage_->files.size(); }
  bool empty() const noexcept { return storage_->files.empty(); }
  const TransferFile& operator[](std::size_t index) const noexcept { return storage_->files[index]; }
  const TransferFile& at(std::size_t index) const { return storage_->files.at(index); }
  const TransferFile& front() const noexcept { return storage_->files.front(); }
  const TransferFile& back() const noexcept { return storage_->files.back(); }
  const_iterator begin() const noexcept { return storage_->files.begin(); }
  const_iterator end() const noexcept { return storage_->files.end(); }
  const std::vector<TransferFile>& vector() const noexcept { return storage_->files; }

  // The sum of the files' sizes.
  std::int64_t totalBytes() const noexcept { return storage_->totalBytes; }

  // Runs `change` on the files (a copy of them when they are shared); the total follows.
  template <typename Change>
  void edit(Change&& change) {
    Storage& storage = unshared();
    std::forward<Change>(change)(storage.files);
    storage.totalBytes = sumOfSizes(storage.files);
  }
  void push_back(TransferFile file);

  bool sharesWith(const TransferFileList& other) const noexcept { return storage_ == other.storage_; }

  friend bool operator==(const TransferFileList& a, const TransferFileList& b) {
    return a.storage_ == b.storage_ || a.storage_->files == b.storage_->files;
  }

 private:
  struct Storage {
    std::vector<TransferFile> files;
    std::int64_t totalBytes = 0;
  };

  static std::int64_t sumOfSizes(const std::vector<TransferFile>& files) noexcept;
  Storage& unshared();

  std::shared_ptr<Storage> storage_;
};

// A selection ready to upload. `files` is never empty.
struct PreparedTransfer {
  TransferSelection sourceSelection;
  std::string title;
  TransferFileList files;  // in upload order
  TransferDefaults defaults;

  // The sum of the files' sizes.
  std::int64_t totalBytes() const { return files.totalBytes(); }

  friend bool operator==(const PreparedTransfer&, const PreparedTransfer&) = default;
};

}  // namespace tavrel
