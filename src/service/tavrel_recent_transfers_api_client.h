#pragma once

#include <memory>

#include "platform/http_transport.h"
#include "platform/main_queue.h"
#include "platform/url.h"
#include "records/access_token_providing.h"
#include "service/serial_worker.h"
#include "transfer/recent_transfers_api.h"

namespace tavrel {

// Loads the signed-in user's recent transfers from GET /api/v1/transfers, in the service's order,
// with the same token discipline as the transfer client: one repeat after a 401 with the token the
// provider gives for the rejected one.
//
// IMPORTANT: Threading as RecentTransfersAPI: called on the main thread; the request runs on the
// client's own worker and the completion is posted to the main queue exactly once. A load stopped
// through its token completes with Cancelled. Destroy the client on the main thread; a load still
// running is stopped and its completion dropped.
class TavrelRecentTransfersAPIClient final : public RecentTransfersAPI {
 public:
  TavrelRecentTransfersAPIClient(platform::Url webAppURL, std::shared_ptr<AccessTokenProviding> tokenProvider,
                                 std::shared_ptr<platform::HttpTransport> session, platform::MainQueue& mainQueue);
  ~TavrelRecentTransfersAPIClient() override;

  void recentTransfers(std::stop_token stop, Completion onLoaded) override;

  // The blocking request itself, for worker threads. Throws TransferAPIError, AccessTokenUnavailable
  // or Cancelled.
  std::vector<RecentTransfer> loadRecentTransfers(std::stop_token stop);

 private:
  const platform::Url webAppURL_;
  const std::shared_ptr<AccessTokenProviding> tokenProvider_;
  const std::shared_ptr<platform::HttpTransport> session_;
  platform::MainQueue& mainQueue_;
  std::stop_source lifetime_;
  SerialWorker worker_;
};

}  // namespace tavrel
