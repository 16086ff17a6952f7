#pragma once

// One choice in a file manager can start the share program more than once: Thunar's Send To starts
// one run for the chosen folders and another for the files. The runs that start together meet on a
// per-user channel: the first to claim it keeps its sheet and, for a short while once it serves,
// takes the items of the others into that sheet; each other run hands its items over and ends
// without a sheet. A run that cannot reach a live first run shows its own sheet.
//
//   claim ──nobody listens──▶ gatherer ──serve──▶ takes items ──window over / user acts──▶ stopped
//     └──somebody listens──▶ handed over (the run ends)
//
// IMPORTANT: Thread-safety. claim() may run before the main queue exists; serve(), stop() and the
// destructor belong to the main thread, where the items are delivered.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/main_queue.h"
#include "platform/single_instance.h"

namespace tavrel {

class ShareRunGathering {
 public:
  using Items = std::vector<std::string>;
  using ItemsHandler = std::function<void(Items items)>;

  // How long a first run takes the items of later runs once it serves. Runs a file manager starts
  // for one choice reach it at once; a later choice of the user's gets a sheet of its own.
  static constexpr std::chrono::milliseconds window{2000};
  // How long a later run waits for the first run to take its items: the first one may still be
  // starting its interface, and a run that gave up too early would show the items twice.
  static constexpr std::chrono::milliseconds answerTimeout{20000};

  struct HandedOver {
    friend bool operator==(HandedOver, HandedOver) { return true; }
  };

  // The channel's message for `items` (each byte for byte, an empty one too), or none when it would
  // be too long to send.
  static std::optional<std::string> encode(const Items& items);
  // The items of a message from encode(), or none when it is not one.
  static std::optional<Items> decode(std::string_view message);

  // Hands `items` to a first run that listens at `socketPath`, or becomes the first run. None when
  // neither can be done (the run then shows its own sheet and gathers nothing); why is logged.
  static std::optional<std::variant<HandedOver, std::unique_ptr<ShareRunGathering>>> claim(
      const std::filesystem::path& socketPath, const Items& items,
      std::chrono::milliseconds timeout = answerTimeout);

  ~ShareRunGathering();
  ShareRunGathering(const ShareRunGathering&) = delete;
  ShareRunGathering& operator=(const ShareRunGathering&) = delete;

  // Takes the items of later runs, each delivered to `onItems` on the main thread, until the window
  // has passed from now or stop() is called. Runs that connected before are taken first.
  void serve(std::shared_ptr<platform::MainQueue> queue, ItemsHandler onItems);
  // Takes no more items; a run that waits unanswered then decides anew and shows its own sheet.
  void stop();
  bool isServing() const { return server_ != nullptr; }

 private:
  explicit ShareRunGathering(platform::SingleInstanceSocket socket) : socket_(std::move(socket)) {}

  std::optional<platform::SingleInstanceSocket> socket_;
  std::unique_ptr<platform::SingleInstanceServer> server_;
  platform::DelayedTask windowEnd_;
};

// The channel's socket for the share program's runs of this user.
platform::Expected<std::filesystem::path, platform::SingleInstanceError> shareRunGatheringSocketPath();

}  // namespace tavrel
