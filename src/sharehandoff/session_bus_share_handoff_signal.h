#pragma once

#include <string>

#include "platform/logger.h"
#include "sharehandoff/share_handoff_signal.h"

namespace tavrel {

// The handoff signal on the user's session bus (platform::SessionBusSignal). Without a session bus
// nothing is observed and posts fail; the program then still scans at start-up and on activation.
class SessionBusShareHandoffSignal final : public ShareHandoffSignalling {
 public:
  // `logSubsystem` names the program in its log lines.
  explicit SessionBusShareHandoffSignal(std::string logSubsystem = "com.tavrel.desktop")
      : logger_(std::move(logSubsystem), "ShareHandoff") {}

  std::unique_ptr<Registration> observe(std::function<void()> handler) override;
  bool post() override;

 private:
  platform::Logger logger_;
};

}  // namespace tavrel
