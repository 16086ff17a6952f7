#pragma once

// Threading and callbacks follow the model written down in "transfer/upload_engine.h": called on
// the main thread, answer posted back to it exactly once, never inside the call.

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace tavrel {

enum class TransferFilePickerRequest {
  files,   // files only
  folder,  // one folder
  items,   // files and folders
};

// The open panel.
class TransferFilePicking {
 public:
  // The chosen paths, or none when the user dismissed the panel or the pick was stopped.
  using Completion = std::function<void(std::optional<std::vector<std::filesystem::path>>)>;

  virtual ~TransferFilePicking() = default;

  virtual void pickItems(TransferFilePickerRequest request, std::stop_token stop, Completion onPicked) = 0;
};

}  // namespace tavrel
