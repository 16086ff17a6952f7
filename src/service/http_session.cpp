#include "service/http_session.h"

#include <mutex>

#include "platform/curl_transport.h"
#include "platform/gio_network_monitor.h"

namespace tavrel {

bool isSameOrigin(const platform::Url& a, const platform::Url& b) {
  if (a.scheme().empty() || b.scheme().empty() || a.host().empty() || b.host().empty()) return false;
  return a.origin() == b.origin();
}

bool SameOriginRedirectDelegate::allowsRedirect(const platform::Url& from, const platform::Url& to) {
  if (from.isEmpty() || to.isEmpty()) return false;
  return isSameOrigin(from, to);
}

std::shared_ptr<platform::HttpTransport> makeUploadURLSession() {
  // The transport itself keeps no cookies, credentials or cache and refuses TLS below 1.2. The
  // desktop's network changes reach it, so a move to another network costs no request's timeout.
  platform::CurlTransportOptions options;
  options.networkMonitor = platform::GioNetworkMonitor::shared();
  return std::make_shared<platform::CurlTransport>(SameOriginRedirectDelegate{}, std::move(options));
}

std::shared_ptr<platform::HttpTransport> sharedAPISession() {
  static std::once_flag once;
  static std::shared_ptr<platform::HttpTransport> session;
  std::call_once(once, [] { session = makeUploadURLSession(); });
  return session;
}

std::shared_ptr<platform::HttpTransport> sharedUploadSession() {
  static std::once_flag once;
  static std::shared_ptr<platform::HttpTransport> session;
  std::call_once(once, [] { session = makeUploadURLSession(); });
  return session;
}

}  // namespace tavrel
