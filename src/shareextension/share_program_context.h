#pragma once

#include <QObject>
#include <string>
#include <vector>

#include "shareextension/core/share_extension_model.h"

namespace tavrel {

// The share request as the share program receives it: one attachment per argument the file manager
// passed (a path or a URI). The request ends once, when the hand-off is accepted or the user
// cancels; `finished` then carries the program's exit status.
//
// IMPORTANT: Thread-safety. Main thread only.
class ShareProgramContext final : public QObject, public ShareExtensionContext {
  Q_OBJECT

 public:
  static constexpr int acceptedStatus = 0;
  static constexpr int cancelledStatus = 1;

  explicit ShareProgramContext(std::vector<ShareExtensionAttachment> attachments, QObject* parent = nullptr)
      : QObject(parent), attachments_(std::move(attachments)) {}

  // What the share program was started with: each item is one argument, byte for byte; an empty
  // one is still an item (and fails as such). Options come before the first item: "--create-link"
  // presses Create Link as soon as the items are loaded (for scripts and tests), "--help" and
  // "--version" answer and end, any other option is refused; "--" ends the options, so an item
  // named "-x" can still follow.
  struct Arguments {
    std::vector<ShareExtensionAttachment> attachments;
    bool createsLinkAtOnce = false;
    bool showsHelp = false;
    bool showsVersion = false;
    std::string unknownOption;  // the first option that is not ours; empty when none
  };
  static Arguments parseArguments(const std::vector<std::string>& arguments);

  std::vector<ShareExtensionAttachment> inputItems() const override { return attachments_; }
  // Items of a run started together with this one (see ShareRunGathering), after its own.
  void appendItems(const std::vector<std::string>& locations) {
    for (const auto& location : locations) attachments_.push_back({location, std::nullopt});
  }
  void completeRequest() override { finish(acceptedStatus); }
  void cancelRequest() override { finish(cancelledStatus); }

  bool isFinished() const { return finished_; }

 signals:
  void finished(int exitStatus);

 private:
  void finish(int status);

  std::vector<ShareExtensionAttachment> attachments_;
  bool finished_ = false;
};

}  // namespace tavrel
