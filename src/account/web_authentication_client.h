#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "account/web_authenticating.h"
#include "platform/browser_launcher.h"
#include "platform/main_queue.h"

namespace tavrel {

// The browser sign-in on the desktop. The authorize address opens in the user's own browser (with its
// cookies and web sign-in); the web application then sends the browser to
// "com.tavrel.macos:/oauth/callback?…", which the desktop hands to a new start of the program through
// its scheme registration; that start passes the address over the single-instance channel to the
// running program, which gives it to handleCallbackURL().
//
// Only one sign-in runs at a time. There is no browser sheet to close: the user cancels from the
// program, which calls cancel().
class WebAuthenticationClient final : public WebAuthenticating {
 public:
  WebAuthenticationClient(std::shared_ptr<platform::MainQueue> queue, std::shared_ptr<platform::BrowserLaunching> browser);
  ~WebAuthenticationClient() override;

  void authenticate(const platform::Url& url, std::string_view callbackScheme, Completion completion) override;
  void cancel() override;

  // Ends the running sign-in with `url` when its scheme is the awaited callback scheme (in any letter
  // case). Returns whether the address was taken; other addresses are left to the caller.
  bool handleCallbackURL(std::string_view url);

  bool isRunning() const { return session_.has_value(); }

 private:
  struct Session {
    std::uint64_t id;
    std::string callbackScheme;
    Completion completion;
  };

  void finish(platform::Expected<std::string, AuthenticationError> result);
  void deliver(Completion completion, platform::Expected<std::string, AuthenticationError> result);

  std::shared_ptr<platform::MainQueue> queue_;
  std::shared_ptr<platform::BrowserLaunching> browser_;
  std::optional<Session> session_;
  std::uint64_t nextSessionID_ = 1;
  std::shared_ptr<WebAuthenticationClient*> self_;  // cleared on destruction; late callbacks check it
};

}  // namespace tavrel
