#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "records/transfer_service_records.h"

namespace tavrel {

// The transfer service's operations, as the upload engine needs them.
//
// IMPORTANT: Threading. Every operation blocks the calling worker thread until the service has
// answered; never call one on the main thread. Calls from several threads may run at once.
//
// Failures are thrown: TransferAPIError for what the service or the network did, AccessTokenUnavailable
// (service/authorized_request.h) when no access token could be had, and Cancelled once `stop` was
// requested (a user's cancel is never reported as a failure).
class TransferAPI {
 public:
  virtual ~TransferAPI() = default;

  virtual RemoteTransferSession createTransfer(const CreateRemoteTransferRequest& request, std::stop_token stop) = 0;
  // Takes the registrations whole: the client lets them go once the body is written, before the
  // answer, as long as they are, arrives.
  virtual RemoteFilePlanResponse registerFiles(const std::string& transferID,
                                               std::vector<RemoteFileRegistration> files,
                                               std::stop_token stop) = 0;
  virtual SignedSingleUpload signSingleUpload(const std::string& transferID, const std::string& fileID,
                                              std::stop_token stop) = 0;
  virtual SignedMultipartUpload signParts(const std::string& transferID, const std::string& fileID,
                                          const std::vector<std::int64_t>& partNumbers, std::stop_token stop) = 0;
  // With no parts the body is {}, never an empty "parts" list.
  virtual RemoteFileCompletion completeFile(const std::string& transferID, const std::string& fileID,
                                            const std::vector<CompletedUploadPart>& parts, std::stop_token stop) = 0;
  virtual RemoteTransferResumeState resumeState(const std::string& transferID, std::stop_token stop) = 0;
  virtual RemoteTransferCompletion completeTransfer(const std::string& transferID, std::stop_token stop) = 0;
  // Best effort: whatever happens is dropped, and it never throws.
  virtual void deleteTransfer(const std::string& transferID, std::stop_token stop) noexcept = 0;
};

}  // namespace tavrel
