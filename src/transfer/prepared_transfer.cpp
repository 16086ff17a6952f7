#include "transfer/prepared_transfer.h"

namespace tavrel {

// Every default-made list shares one empty storage, which the static copy keeps from being edited.
TransferFileList::TransferFileList() {
  static const auto empty = std::make_shared<Storage>();
  storage_ = empty;
}

TransferFileList::TransferFileList(std::vector<TransferFile> files)
    : storage_(std::make_shared<Storage>(Storage{std::move(files), 0})) {
  storage_->totalBytes = sumOfSizes(storage_->files);
}

TransferFileList::TransferFileList(std::initializer_list<TransferFile> files)
    : TransferFileList(std::vector<TransferFile>(files)) {}

void TransferFileList::push_back(TransferFile file) {
  Storage& storage = unshared();
  storage.totalBytes += file.size;
  storage.files.push_back(std::move(file));
}

std::int64_t TransferFileList::sumOfSizes(const std::vector<TransferFile>& files) noexcept {
  std::int64_t total = 0;
  for (const auto& file : files) total += file.size;
  return total;
}

TransferFileList::Storage& TransferFileList::unshared() {
  if (storage_.use_count() != 1) storage_ = std::make_shared<Storage>(*storage_);
  return *storage_;
}

}  // namespace tavrel
