#include "account/web_authentication_client.h"

#include <algorithm>
#include <cctype>

#include "platform/logger.h"

namespace tavrel {

using Kind = AuthenticationError::Kind;

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance("com.tavrel.desktop", "WebAuthentication");
  return instance;
}

std::string lowercased(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

// The value of the one "state" item of `url`'s query; none when there is none, or more than one.
std::optional<std::string> stateOf(const platform::Url& url) {
  std::optional<std::string> state;
  int count = 0;
  for (const auto& item : url.queryItems()) {
    if (item.name != "state") continue;
    ++count;
    state = item.value.value_or("");
  }
  if (count != 1) return std::nullopt;
  return state;
}

}  // namespace

WebAuthenticationClient::WebAuthenticationClient(std::shared_ptr<platform::MainQueue> queue,
                                                 std::shared_ptr<platform::BrowserLaunching> browser)
    : queue_(std::move(queue)), browser_(std::move(browser)), self_(std::make_shared<WebAuthenticationClient*>(this)) {}

WebAuthenticationClient::~WebAuthenticationClient() { *self_ = nullptr; }

void WebAuthenticationClient::authenticate(const platform::Url& url, std::string_view callbackScheme,
                                           Completion completion) {
  if (session_) {
    deliver(std::move(completion), platform::unexpected(AuthenticationError(Kind::authorizationInProgress)));
    return;
  }
  const auto id = nextSessionID_++;
  session_ = Session{id, lowercased(callbackScheme), stateOf(url), std::move(completion)};
  std::weak_ptr<WebAuthenticationClient*> weak = self_;
  browser_->open(url, [weak, id](bool opened) {
    const auto self = weak.lock();
    if (!self || !*self || opened) return;
    auto* client = *self;
    if (client->session_ && client->session_->id == id) {
      client->finish(platform::unexpected(AuthenticationError(Kind::transportUnavailable)));
    }
  });
}

void WebAuthenticationClient::cancel() {
  if (session_) finish(platform::unexpected(AuthenticationError(Kind::authorizationCancelled)));
}

WebAuthenticationClient::CallbackHandling WebAuthenticationClient::handleCallbackURL(std::string_view url) {
  if (!session_) return CallbackHandling::noSignInWaiting;
  const auto colon = url.find(':');
  if (colon == std::string_view::npos || lowercased(url.substr(0, colon)) != session_->callbackScheme) {
    return CallbackHandling::notACallback;
  }
  if (session_->state) {
    const auto parsed = platform::Url::parse(url);
    const auto received = parsed ? stateOf(*parsed) : std::nullopt;
    if (received != session_->state) {
      // Not this sign-in's answer (a stale page, or another program): the real one may still come.
      logger().notice("Ignored a sign-in callback whose state is not the waiting sign-in's ({})",
                      platform::publicArg(received ? "different state" : "no single state"));
      return CallbackHandling::otherSignIn;
    }
  }
  finish(std::string(url));
  return CallbackHandling::taken;
}

void WebAuthenticationClient::finish(platform::Expected<std::string, AuthenticationError> result) {
  auto completion = std::move(session_->completion);
  session_.reset();
  deliver(std::move(completion), std::move(result));
}

void WebAuthenticationClient::deliver(Completion completion, platform::Expected<std::string, AuthenticationError> result) {
  queue_->post([completion = std::move(completion), result = std::move(result)]() mutable { completion(std::move(result)); });
}

}  // namespace tavrel
