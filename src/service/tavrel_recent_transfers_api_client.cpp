#include "service/tavrel_recent_transfers_api_client.h"

#include "platform/translatable_text.h"
#include "service/authorized_request.h"

namespace tavrel {

TavrelRecentTransfersAPIClient::TavrelRecentTransfersAPIClient(platform::Url webAppURL,
                                                               std::shared_ptr<AccessTokenProviding> tokenProvider,
                                                               std::shared_ptr<platform::HttpTransport> session,
                                                               platform::MainQueue& mainQueue)
    : webAppURL_(std::move(webAppURL)),
      tokenProvider_(std::move(tokenProvider)),
      session_(std::move(session)),
      mainQueue_(mainQueue) {}

TavrelRecentTransfersAPIClient::~TavrelRecentTransfersAPIClient() { lifetime_.request_stop(); }

std::vector<RecentTransfer> TavrelRecentTransfersAPIClient::loadRecentTransfers(std::stop_token stop) {
  const AuthorizedRequest request{"GET", {"api", "v1", "transfers"}, std::nullopt, true};
  const auto response = sendAuthorized(*session_, *tokenProvider_, webAppURL_, request, stop);
  return decodeServiceResponse<RecentTransfersResponse>(
             response, TAVREL_TRANSLATE_NOOP("Core", "Tavrel could not load recent transfers."))
      .transfers;
}

void TavrelRecentTransfersAPIClient::recentTransfers(std::stop_token stop, Completion onLoaded) {
  auto lifetime = lifetime_.get_token();
  worker_.submit([this, stop, lifetime, onLoaded = std::move(onLoaded)]() mutable {
    // Either the caller's stop or the client's destruction ends the request.
    std::stop_source combined;
    std::stop_callback byCaller(stop, [&] { combined.request_stop(); });
    std::stop_callback byOwner(lifetime, [&] { combined.request_stop(); });

    RecentTransfersOutcome outcome = Cancelled{};
    try {
      outcome = loadRecentTransfers(combined.get_token());
    } catch (const TransferAPIError& error) {
      outcome = error;
    } catch (const AccessTokenUnavailable& unavailable) {
      if (unavailable.error().isCancelled()) {
        outcome = Cancelled{};
      } else {
        outcome = unavailable.error();
      }
    } catch (const Cancelled&) {
      outcome = Cancelled{};
    }
    if (lifetime.stop_requested()) return;
    mainQueue_.post([lifetime, onLoaded = std::move(onLoaded), outcome = std::move(outcome)]() mutable {
      if (onLoaded && !lifetime.stop_requested()) onLoaded(std::move(outcome));
    });
  });
}

}  // namespace tavrel
