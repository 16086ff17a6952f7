#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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
//
// Any local program can start us with a callback address, so the running sign-in takes only the
// callback that carries the `state` of its own authorize address; others are logged and ignored, and
// the sign-in keeps waiting for its own.
class WebAuthenticationClient final : public WebAuthenticating {
 public:
  enum class CallbackHandling {
    taken,            // it ended the running sign-in
    notACallback,     // another scheme: left to the caller
    noSignInWaiting,  // nothing is waiting for it
    otherSignIn,      // its state is not the running sign-in's: ignored, the sign-in still waits
  };

  WebAuthenticationClient(std::shared_ptr<platform::MainQueue> queue, std::shared_ptr<platform::BrowserLaunching> browser);
  ~WebAuthenticationClient() override;

  void authenticate(const platform::Url& url, std::string_view callbackScheme, Completion completion) override;
  void cancel() override;

  // Ends the running sign-in with `url` when its scheme is the awaited callback scheme (in any letter
  // case) and it carries the sign-in's state exactly once.
  CallbackHandling handleCallbackURL(std::string_view url);

  bool isRunning() const { return session_.has_value(); }

 private:
  struct Session {
    std::uint64_t id;
    std::string callbackScheme;
    std::optional<std::string> state;  // of the authorize address; none: any callback is taken
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
