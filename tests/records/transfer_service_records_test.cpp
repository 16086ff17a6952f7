#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "records/transfer_service_records.h"

using namespace tavrel;
using nlohmann::json;
using platform::decodeJson;
using platform::JsonDecodingError;
using platform::serializeJson;
using std::chrono::seconds;
using std::chrono::system_clock;

namespace {

system_clock::time_point at(std::int64_t epochSeconds) { return system_clock::time_point(seconds(epochSeconds)); }

const json recentTransfer = json::parse(
    R"({"id":"t1","title":"Holiday","fileCount":3,"totalBytes":1048576,"createdAt":"2025-01-31T09:30:00Z",
        "downloadSlug":"abc","mimeType":"image/jpeg","mimeTypes":["image/jpeg","video/mp4"],"views":12})");

// `base` with `key` set to `value` (JSON text), or removed when value is none.
json with(json base, const std::string& key, const std::optional<std::string>& value) {
  if (value) base[key] = json::parse(*value);
  else base.erase(key);
  return base;
}

template <typename T>
bool decodes(const json& document) {
  try {
    (void)decodeJson<T>(document.dump());
    return true;
  } catch (const JsonDecodingError&) {
    return false;
  }
}

}  // namespace

TEST(TransferServiceRecordsTest, CreateRequestWritesEveryFieldInOrderAndOmitsAbsentReviewAccess) {
  CreateRemoteTransferRequest request{"Photos", 2, 3'000'000'000, {1'000'000'000, 2'000'000'000}, 7, "eu",
                                      true, false, std::nullopt, true};
  EXPECT_EQ(serializeJson(request.toJson()),
            R"({"title":"Photos","expectedFiles":2,"totalExpectedBytes":3000000000,)"
            R"("fileSizes":[1000000000,2000000000],"expiryDays":7,"region":"eu","oneTimeDownload":true,)"
            R"("isReviewEnabled":false,"filePreviewEnabled":true})");
  request.isReviewEnabled = true;
  request.reviewAccessType = "password";
  EXPECT_EQ(serializeJson(request.toJson()),
            R"({"title":"Photos","expectedFiles":2,"totalExpectedBytes":3000000000,)"
            R"("fileSizes":[1000000000,2000000000],"expiryDays":7,"region":"eu","oneTimeDownload":true,)"
            R"("isReviewEnabled":true,"reviewAccessType":"password","filePreviewEnabled":true})");
}

TEST(TransferServiceRecordsTest, OtherRequestBodies) {
  const std::vector<RemoteFileRegistration> files = {{"L1", "a b.txt", "dir/a b.txt", "text/plain", 12},
                                                     {"L2", "é.png", "é.png", "image/png", 0}};
  EXPECT_EQ(serializeJson(platform::jsonArray(files)),
            R"([{"id":"L1","filename":"a b.txt","relativePath":"dir/a b.txt","mime":"text/plain","size":12},)"
            R"({"id":"L2","filename":"é.png","relativePath":"é.png","mime":"image/png","size":0}])");
  EXPECT_EQ(serializeJson(SignPartsRequest{{3, 1, 2}}.toJson()), R"({"partNumbers":[3,1,2]})");
  EXPECT_EQ(serializeJson(CompleteRemoteFileRequest{{{1, "e1"}, {2, "e2"}}}.toJson()),
            R"({"parts":[{"partNumber":1,"etag":"e1"},{"partNumber":2,"etag":"e2"}]})");
  EXPECT_EQ(serializeJson(CompleteRemoteFileRequest{}.toJson()), R"({"parts":[]})");
  EXPECT_EQ(serializeJson(EmptyRequest{}.toJson()), "{}");
}

// The register body is written straight to text; the service must get the very bytes the JSON
// serialiser writes, whatever the names hold.
TEST(TransferServiceRecordsTest, RegistrationsAreWrittenAsTheSerialiserWritesThem) {
  const std::vector<std::string> names = {
      "plain.txt", "", "a \"quoted\" name", "back\\slash", "slash/in/name", "tab\there", "line\nbreak",
      "\b\f\r", std::string("nul\0inside", 10), "\x01\x1f control", "del\x7f", "é.png", "日本語.txt",
      "emoji \xF0\x9F\x98\x80", "\uFFFD", "{\"id\":\"x\"},[]", "100%25 ünïcödé\u2028\u2029"};
  std::vector<RemoteFileRegistration> files;
  std::int64_t size = -1;
  for (const auto& name : names) {
    files.push_back({"4F0E7C4A-0D8E-4C1B-9A57-" + std::to_string(files.size()), name, "Folder/" + name,
                     name.empty() ? "application/octet-stream" : name, size});
    // Sizes of every number of digits, starting over before they would overflow.
    size = size < 0 ? 0 : (size < 1'000'000'000'000'000 ? size * 1000 + 7 : 1);
  }
  EXPECT_EQ(encodeRegistrations(files), serializeJson(platform::jsonArray(files)));
  EXPECT_EQ(encodeRegistrations({}), "[]");
  EXPECT_EQ(encodeRegistrations({{"L1", "a \"b\".txt", "dir/a \"b\".txt", "text/plain", 9223372036854775807}}),
            R"([{"id":"L1","filename":"a \"b\".txt","relativePath":"dir/a \"b\".txt","mime":"text/plain",)"
            R"("size":9223372036854775807}])");

  // A name that is not UTF-8 is refused, as the serialiser refuses it, never sent mangled.
  for (const std::string broken : {"caf\xE9.txt", "\xC3", "\xED\xA0\x80", "\xC0\xAF", "\xF4\x90\x80\x80"}) {
    const std::vector<RemoteFileRegistration> bad = {{"L", broken, "x", "text/plain", 1}};
    EXPECT_THROW(encodeRegistrations(bad), platform::JsonEncodingError);
    EXPECT_THROW(serializeJson(platform::jsonArray(bad)), platform::JsonEncodingError);
  }
}

TEST(TransferServiceRecordsTest, CompletedUploadPartRoundTrips) {
  const CompletedUploadPart part{10'000, "9b2cf535f27731c974343645a3985328"};
  EXPECT_EQ(decodeJson<CompletedUploadPart>(serializeJson(part.toJson())), part);
  EXPECT_FALSE(decodes<CompletedUploadPart>(json::parse(R"({"partNumber":1})")));
  EXPECT_FALSE(decodes<CompletedUploadPart>(json::parse(R"({"partNumber":"1","etag":"e"})")));
}

TEST(TransferServiceRecordsTest, DecodesSessionPlansAndSignedUploads) {
  EXPECT_EQ(decodeJson<RemoteTransferSession>(
                R"({"transferId":"T","expiresAt":"2025-01-31T09:30:00Z","expiryDays":7,"extra":null})"),
            (RemoteTransferSession{"T", at(1738315800), 7}));

  const auto plans = decodeJson<RemoteFilePlanResponse>(
      R"({"plans":[{"referenceId":"L1","fileId":"F1","filename":"a","strategy":"single"},
                   {"referenceId":"L2","fileId":"F2","filename":"b","strategy":"multipart",
                    "uploadId":"U","partSize":8388608},
                   {"referenceId":"L3","fileId":"F3","filename":"c","strategy":"single","uploadId":null,"partSize":null}]})");
  ASSERT_EQ(plans.plans.size(), 3u);
  EXPECT_EQ(plans.plans[0], (RemoteFilePlan{"L1", "F1", "a", RemoteUploadStrategy::single, std::nullopt, std::nullopt}));
  EXPECT_EQ(plans.plans[1], (RemoteFilePlan{"L2", "F2", "b", RemoteUploadStrategy::multipart, "U", 8388608}));
  EXPECT_EQ(plans.plans[2].uploadId, std::nullopt);

  const auto single = decodeJson<SignedSingleUpload>(
      R"({"url":"https://bucket.example.com/k?X-Sig=1","headers":{"Content-Type":"image/png","x-amz-acl":"private"}})");
  EXPECT_EQ(single.url.toString(), "https://bucket.example.com/k?X-Sig=1");
  EXPECT_EQ(single.headers.at("Content-Type"), "image/png");
  EXPECT_EQ(single.headers.size(), 2u);

  const auto parts = decodeJson<SignedMultipartUpload>(
      R"({"urls":[{"partNumber":1,"url":"https://s.example.com/1"},{"partNumber":2,"url":"https://s.example.com/2"}]})");
  ASSERT_EQ(parts.urls.size(), 2u);
  EXPECT_EQ(parts.urls[1].partNumber, 2);
  EXPECT_EQ(parts.urls[1].url.path(), "/2");

  EXPECT_EQ(decodeJson<RemoteFileCompletion>(R"({"fileId":"F"})"), (RemoteFileCompletion{"F", std::nullopt}));
  EXPECT_EQ(decodeJson<RemoteFileCompletion>(R"({"fileId":"F","referenceId":"L"})").referenceId, "L");
}

// A register answer lists every file; it is decoded plan by plan as it is read, with the same result
// and the same strictness as decoding the whole document.
TEST(TransferServiceRecordsTest, PlansDecodedAsTheyAreReadMatchTheWholeDocument) {
  const std::string answer =
      R"({"transfer":{"plans":[{"x":1}]},"plans":[{"referenceId":"L1","fileId":"F1","filename":"a","strategy":"single"},)"
      R"({"referenceId":"L2","fileId":"F2","filename":"b\u00e9","strategy":"multipart","uploadId":"U","partSize":8388608,)"
      R"("extra":{"plans":[1]}}],"more":[[1],{"plans":2}]})";
  const auto streamed = RemoteFilePlanResponse::decode(answer, 1);
  EXPECT_EQ(streamed, decodeJson<RemoteFilePlanResponse>(answer));
  ASSERT_EQ(streamed.plans.size(), 2u);
  EXPECT_EQ(streamed.plans[1].filename, "b\u00e9");
  EXPECT_EQ(RemoteFilePlanResponse::decode(R"({"plans":[]})").plans.size(), 0u);

  const auto failurePath = [](const std::string& text) {
    try {
      (void)RemoteFilePlanResponse::decode(text);
    } catch (const JsonDecodingError& error) {
      return error.path();
    }
    return std::string("decoded");
  };
  EXPECT_EQ(failurePath(R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"single"},)"
                        R"({"referenceId":"L","fileId":"F","filename":"a","strategy":"chunked"}]})"),
            "$.plans[1].strategy");
  EXPECT_EQ(failurePath(R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"single"},7]})"),
            "$.plans[1]");
  EXPECT_EQ(failurePath(R"({"plans":[[]]})"), "$.plans[0]");
  EXPECT_EQ(failurePath(R"({"plans":{"a":{"referenceId":"L"}}})"), "$.plans");
  EXPECT_EQ(failurePath(R"([{"plans":[]}])"), "$");
  EXPECT_EQ(failurePath(R"({"plans":[],"plans":[]})"), "$.plans");  // which one counts is not guessed
  EXPECT_EQ(failurePath(R"({"plans":[]} trailing)"), "$");
  EXPECT_EQ(failurePath("{\"plans\":[{\"referenceId\":\"\xC3\"}]}"), "$");  // not UTF-8
  EXPECT_EQ(failurePath(R"({"plans":[)" + std::string(100, '[') + std::string(100, ']') + "]}"), "$");  // too deep
}

TEST(TransferServiceRecordsTest, AnyMalformedPartRefusesTheWholeAnswer) {
  const std::vector<std::string> plans = {
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"chunked"}]})",    // unknown strategy
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"Single"}]})",     // raw values are exact
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":null}]})",
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"single","partSize":1.5}]})",
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"single","uploadId":7}]})",
      R"({"plans":[{"referenceId":"L","fileId":"F","filename":"a","strategy":"single"},{"fileId":"G"}]})",
      R"({"plans":null})",
      R"({})",
  };
  for (const std::string& text : plans) {
    EXPECT_FALSE(decodes<RemoteFilePlanResponse>(json::parse(text))) << text;
    EXPECT_THROW(RemoteFilePlanResponse::decode(text), JsonDecodingError) << text;
  }

  const std::vector<std::string> signedUploads = {
      R"({"url":"not a url","headers":{}})",
      R"({"url":"","headers":{}})",
      R"({"url":"https://s.example.com/k","headers":{"Content-Length":5}})",
      R"({"url":"https://s.example.com/k"})",
      R"({"url":42,"headers":{}})",
  };
  for (const std::string& text : signedUploads) EXPECT_FALSE(decodes<SignedSingleUpload>(json::parse(text))) << text;

  EXPECT_FALSE(decodes<RemoteTransferSession>(
      json::parse(R"({"transferId":"T","expiresAt":"2025-01-31T09:30:00.123Z","expiryDays":7})")));
  EXPECT_FALSE(decodes<RemoteTransferSession>(
      json::parse(R"({"transferId":"T","expiresAt":"2025-01-31T09:30:00Z","expiryDays":7.0})")));
  EXPECT_FALSE(decodes<RemoteTransferSession>(
      json::parse(R"({"transferId":"T","expiresAt":"2025-01-31T09:30:00Z","expiryDays":true})")));
  EXPECT_FALSE(decodes<SignedMultipartUpload>(json::parse(R"({"urls":[{"partNumber":1,"url":"/relative"}]})")));
}

TEST(TransferServiceRecordsTest, ResumeStateKeepsMissingPartListApartFromEmptyOne) {
  const auto state = decodeJson<RemoteTransferResumeState>(
      R"({"transferId":"T","resumable":true,"totalBytes":30,"bytesUploaded":10,"files":[
           {"fileId":"F1","expectedSize":10,"status":"completed","bytesUploaded":10},
           {"fileId":"F2","expectedSize":10,"status":"uploading","bytesUploaded":0,"completedParts":[],"partSize":5},
           {"fileId":"F3","expectedSize":10,"status":"ready_to_complete","bytesUploaded":10,"localFileId":"L3",
            "completedParts":[{"partNumber":1,"etag":"a"},{"partNumber":2,"etag":"b"}]},
           {"fileId":"F4","expectedSize":0,"status":"expired","bytesUploaded":0,"completedParts":null}]})");
  ASSERT_EQ(state.files.size(), 4u);
  EXPECT_TRUE(state.resumable);
  EXPECT_EQ(state.files[0].completedParts, std::nullopt);
  EXPECT_EQ(state.files[1].completedParts, std::vector<CompletedUploadPart>{});
  EXPECT_EQ(state.files[1].partSize, 5);
  EXPECT_EQ(state.files[2].completedParts, (std::vector<CompletedUploadPart>{{1, "a"}, {2, "b"}}));
  EXPECT_EQ(state.files[2].localFileId, "L3");
  EXPECT_EQ(state.files[3].completedParts, std::nullopt);

  EXPECT_FALSE(decodes<RemoteTransferResumeState>(json::parse(
      R"({"transferId":"T","resumable":"yes","totalBytes":0,"bytesUploaded":0,"files":[]})")));
  EXPECT_FALSE(decodes<RemoteTransferResumeState>(json::parse(
      R"({"transferId":"T","resumable":true,"totalBytes":0,"bytesUploaded":0,"files":[
           {"fileId":"F","expectedSize":1,"status":"completed","bytesUploaded":1,"completedParts":[{"partNumber":1}]}]})")));
}

TEST(TransferServiceRecordsTest, RecentTransferOptionalsAndRequiredFields) {
  const auto full = decodeJson<RecentTransfer>(recentTransfer.dump());
  EXPECT_EQ(full, (RecentTransfer{"t1", "Holiday", 3, 1048576, at(1738315800), "abc", "image/jpeg",
                                  {"image/jpeg", "video/mp4"}}));

  const auto withoutTypes = decodeJson<RecentTransfer>(with(recentTransfer, "mimeTypes", std::nullopt).dump());
  EXPECT_TRUE(withoutTypes.mimeTypes.empty());
  EXPECT_TRUE(decodeJson<RecentTransfer>(with(recentTransfer, "mimeTypes", "null").dump()).mimeTypes.empty());
  EXPECT_EQ(decodeJson<RecentTransfer>(with(recentTransfer, "mimeType", std::nullopt).dump()).mimeType, std::nullopt);
  EXPECT_EQ(decodeJson<RecentTransfer>(with(recentTransfer, "createdAt", R"("2025-01-31T10:30:00+01:00")").dump()),
            full);  // the same instant

  struct Broken {
    const char* key;
    std::optional<std::string> value;
  };
  const std::vector<Broken> broken = {
      {"id", std::nullopt},          {"title", "null"},          {"fileCount", "3.0"},
      {"fileCount", "true"},         {"totalBytes", "\"1\""},    {"totalBytes", "9223372036854775808"},
      {"createdAt", std::nullopt},   {"createdAt", R"("2025-01-31T09:30:00.5Z")"},
      {"createdAt", "1738315800"},   {"downloadSlug", std::nullopt},
      {"mimeType", "7"},             {"mimeTypes", R"(["a",null])"}, {"mimeTypes", R"("image/jpeg")"},
  };
  for (const Broken& b : broken) {
    const json item = with(recentTransfer, b.key, b.value);
    EXPECT_FALSE(decodes<RecentTransfer>(item)) << item.dump();
    // One bad entry refuses the whole list.
    EXPECT_FALSE(decodes<RecentTransfersResponse>(json{{"transfers", json::array({recentTransfer, item})}}));
  }
  EXPECT_EQ(decodeJson<RecentTransfersResponse>(json{{"transfers", json::array({recentTransfer})}}.dump()).transfers,
            std::vector<RecentTransfer>{full});
}

TEST(TransferServiceRecordsTest, TransferCompletionWithAndWithoutRecentEntry) {
  const json completion = {{"completed", true}, {"id", "T"}, {"slug", "s1"}, {"isFirstTransfer", false}};
  EXPECT_EQ(decodeJson<RemoteTransferCompletion>(completion.dump()),
            (RemoteTransferCompletion{true, "T", "s1", false, std::nullopt}));
  const auto withEntry = decodeJson<RemoteTransferCompletion>(with(completion, "recentTransfer", recentTransfer.dump()).dump());
  ASSERT_TRUE(withEntry.recentTransfer);
  EXPECT_EQ(withEntry.recentTransfer->id, "t1");
  EXPECT_FALSE(decodes<RemoteTransferCompletion>(with(completion, "recentTransfer", R"({"id":"t1"})")));
  EXPECT_FALSE(decodes<RemoteTransferCompletion>(with(completion, "isFirstTransfer", std::nullopt)));
}

TEST(TransferServiceRecordsTest, EmptyResponseAndErrorEnvelope) {
  for (const char* body : {"null", "{}", "[1,2]", "\"ok\"", "0"}) EXPECT_NO_THROW(decodeJson<EmptyResponse>(body));
  EXPECT_THROW(decodeJson<EmptyResponse>(""), JsonDecodingError);  // not JSON at all

  EXPECT_EQ(decodeJson<RemoteAPIErrorEnvelope>(R"({"error":{"code":"","message":""}})"), (RemoteAPIErrorEnvelope{{"", ""}}));
  EXPECT_EQ(decodeJson<RemoteAPIErrorEnvelope>(R"({"error":{"code":"gone","message":"Expired."},"status":410})").error,
            (RemoteAPIErrorEnvelope::Payload{"gone", "Expired."}));
  for (const char* body : {R"({"error":{"code":"gone"}})", R"({"error":{"message":"m"}})", R"({"error":"gone"})",
                           R"({"code":"gone","message":"m"})", R"({"error":{"code":"gone","message":null}})"}) {
    EXPECT_THROW(decodeJson<RemoteAPIErrorEnvelope>(body), JsonDecodingError) << body;
  }
}

TEST(TransferServiceRecordsTest, UploadStrategyRawValues) {
  EXPECT_EQ(rawValue(RemoteUploadStrategy::single), "single");
  EXPECT_EQ(rawValue(RemoteUploadStrategy::multipart), "multipart");
  EXPECT_EQ(remoteUploadStrategy("multipart"), RemoteUploadStrategy::multipart);
  EXPECT_EQ(remoteUploadStrategy("MULTIPART"), std::nullopt);
}

TEST(TransferAPIErrorTest, UserFacingTextsAndEquality) {
  const auto conflict = TransferAPIError::rejected(409, "transfer_not_resumable", "This upload can no longer be resumed.");
  EXPECT_STREQ(conflict.what(), "This upload can no longer be resumed.");
  EXPECT_EQ(TransferAPIError::unauthorized().errorDescription(), "Your session has expired. Please sign in again.");
  EXPECT_EQ(TransferAPIError::invalidResponse().errorDescription(), "Tavrel returned an unexpected upload response.");
  EXPECT_EQ(TransferAPIError::transportUnavailable().errorDescription(),
            "Tavrel is temporarily unavailable. Check your connection and retry.");

  EXPECT_EQ(conflict, TransferAPIError::rejected(409, "transfer_not_resumable", "This upload can no longer be resumed."));
  EXPECT_NE(conflict, TransferAPIError::rejected(410, "transfer_not_resumable", "This upload can no longer be resumed."));
  EXPECT_NE(conflict, TransferAPIError::rejected(409, "other", "This upload can no longer be resumed."));
  EXPECT_NE(conflict, TransferAPIError::rejected(409, "transfer_not_resumable", "Other."));
  EXPECT_NE(TransferAPIError::unauthorized(), TransferAPIError::invalidResponse());
  EXPECT_TRUE(TransferAPIError::transportUnavailable().is<TransferAPIError::TransportUnavailable>());

  try {
    throw TransferAPIError::invalidResponse();
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "Tavrel returned an unexpected upload response.");
  }
}
