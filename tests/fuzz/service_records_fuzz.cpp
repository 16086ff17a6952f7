// The transfer service's answers: every response record is decoded from the same bytes, as a client
// would whichever call it made; a storage address that decodes goes through the upload policy the
// engine applies to it.

#include "fuzz_target.h"
#include "platform/iso_date.h"
#include "platform/json.h"
#include "records/transfer_service_records.h"
#include "service/upload_security_policy.h"

using namespace tavrel;

namespace {

template <typename Record>
std::optional<Record> decode(std::string_view text) {
  auto decoded = platform::tryDecodeJson<Record>(text);
  if (!decoded) return std::nullopt;
  return std::move(*decoded);
}

void checkStorageURL(const platform::Url& url) {
  auto policy = UploadSecurityPolicy::defaultPolicy();
  policy.allowedStorageHosts = {"uploads.example.com"};
  if (const auto permitted = policy.validateStorageURL(url)) FUZZ_CHECK(!permitted->host().empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  decode<RemoteTransferSession>(text);
  decode<RemoteFilePlanResponse>(text);
  decode<RemoteFileCompletion>(text);
  decode<RemoteTransferResumeState>(text);
  decode<RemoteTransferCompletion>(text);
  decode<RemoteAPIErrorEnvelope>(text);
  decode<CompletedUploadPart>(text);
  if (const auto single = decode<SignedSingleUpload>(text)) {
    checkStorageURL(single->url);
    for (const auto& [name, value] : single->headers) (void)UploadSecurityPolicy::allowsSignedHeader(name);
  }
  if (const auto multipart = decode<SignedMultipartUpload>(text)) {
    for (const auto& part : multipart->urls) checkStorageURL(part.url);
  }
  if (const auto recent = decode<RecentTransfersResponse>(text)) {
    for (const auto& transfer : recent->transfers) {
      // Every date the decoder takes is one it can write and read back.
      FUZZ_CHECK(platform::parseIsoDate(platform::formatIsoDate(transfer.createdAt)) == transfer.createdAt);
    }
  }
  return 0;
}
