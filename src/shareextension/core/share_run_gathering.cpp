#include "shareextension/core/share_run_gathering.h"

#include "platform/base64.h"
#include "platform/logger.h"

namespace tavrel {
namespace {

constexpr std::string_view kPrefix = "items";
// Each item is one word: this mark and its bytes in base64, so an empty item is a word too.
constexpr char kItemMark = 'i';

const platform::Logger& logger() {
  static const platform::Logger instance{"com.tavrel.macos.share", "Gathering"};
  return instance;
}

}  // namespace

std::optional<std::string> ShareRunGathering::encode(const Items& items) {
  std::string message(kPrefix);
  for (const auto& item : items) {
    message += ' ';
    message += kItemMark;
    message += platform::base64Encode(std::string_view(item));
    if (message.size() > platform::SingleInstanceServer::maximumMessageSize) return std::nullopt;
  }
  return message;
}

std::optional<ShareRunGathering::Items> ShareRunGathering::decode(std::string_view message) {
  if (!message.starts_with(kPrefix)) return std::nullopt;
  message.remove_prefix(kPrefix.size());
  Items items;
  while (!message.empty()) {
    if (message.size() < 2 || message[0] != ' ' || message[1] != kItemMark) return std::nullopt;
    message.remove_prefix(2);
    const auto word = message.substr(0, message.find(' '));
    message.remove_prefix(word.size());
    const auto bytes = platform::base64Decode(word);
    if (!bytes) return std::nullopt;
    items.emplace_back(bytes->begin(), bytes->end());
  }
  return items;
}

std::optional<std::variant<ShareRunGathering::HandedOver, std::unique_ptr<ShareRunGathering>>> ShareRunGathering::claim(
    const std::filesystem::path& socketPath, const Items& items, std::chrono::milliseconds timeout) {
  const auto message = encode(items);
  if (!message) {
    logger().notice("Too many items to gather with other runs; this run shows its own sheet");
    return std::nullopt;
  }
  auto claimed = platform::claimSingleInstance(socketPath, *message, timeout);
  if (!claimed) {
    if (claimed.error().kind == platform::SingleInstanceError::Kind::refused) {
      logger().notice("The sheet of a run started together did not take this run's items; it shows its own");
    } else {
      logger().error("Could not gather with other runs: {}", platform::publicArg(claimed.error().message));
    }
    return std::nullopt;
  }
  if (std::holds_alternative<platform::HandedOver>(*claimed)) {
    logger().info("Handed {} item(s) to the sheet of a run started together", items.size());
    return HandedOver{};
  }
  return std::unique_ptr<ShareRunGathering>(
      new ShareRunGathering(std::get<platform::SingleInstanceSocket>(std::move(*claimed))));
}

ShareRunGathering::~ShareRunGathering() { stop(); }

void ShareRunGathering::serve(std::shared_ptr<platform::MainQueue> queue, ItemsHandler onItems) {
  if (!socket_) return;
  auto& mainQueue = *queue;
  auto server = platform::SingleInstanceServer::start(
      std::move(*socket_), std::move(queue),
      [onItems = std::move(onItems)](std::string message, platform::SingleInstanceServer::Reply& reply) {
        auto items = decode(message);
        if (!items) {
          // Its sender then shows its own sheet instead of taking its items for gathered.
          logger().error("A run started together sent what is not a list of items");
          reply.refuse();
          return;
        }
        // A run that gave up waiting shows its items in a sheet of its own already.
        if (!reply.confirm()) {
          logger().notice("A run started together no longer waited for its items to be taken");
          return;
        }
        logger().info("Took {} item(s) of a run started together", items->size());
        onItems(std::move(*items));
      });
  socket_.reset();
  if (!server) {
    logger().error("Could not take the items of other runs: {}", platform::publicArg(server.error().message));
    return;
  }
  server_ = std::move(*server);
  windowEnd_ = mainQueue.postDelayed(window, [this] { stop(); });
}

void ShareRunGathering::stop() {
  windowEnd_.cancel();
  server_.reset();
  socket_.reset();
}

platform::Expected<std::filesystem::path, platform::SingleInstanceError> shareRunGatheringSocketPath() {
  return platform::singleInstanceSocketPath("com.tavrel.macos.share-runs");
}

}  // namespace tavrel
