#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/json.h"
#include "sharehandoff/share_handoff_storage.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "sharehandoff/share_handoff_test_support.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Kind = ShareHandoffStorageError::Kind;
namespace fs = std::filesystem;

const platform::Uuid requestUuid = *platform::Uuid::parse("0F2A7C1E-5B3D-4E6F-8A9B-0C1D2E3F4A5B");

// ---- Records ----

TEST(ShareHandoffRecordsTest, EncodesExactJsonWithSortedKeysEscapedSlashesAndNoAbsentOptionals) {
  ShareHandoffRequest request{1, requestUuid, handoffDate,
                              {{{0xff, 0xff, 0xff, 0x01}, "a/b.txt", ShareHandoffItemKind::file, "public/text"},
                               {{0x00}, "Folder", ShareHandoffItemKind::folder, std::nullopt}}};
  EXPECT_EQ(encodeShareHandoffJson(request.toJson()),
            R"({"createdAt":"2026-03-04T05:06:07Z","id":"0F2A7C1E-5B3D-4E6F-8A9B-0C1D2E3F4A5B","items":[)"
            R"({"bookmarkData":"\/\/\/\/AQ==","contentTypeIdentifier":"public\/text","displayName":"a\/b.txt","kind":"file"},)"
            R"({"bookmarkData":"AA==","displayName":"Folder","kind":"folder"}],"schemaVersion":1})");
  EXPECT_EQ(platform::decodeJson<ShareHandoffRequest>(encodeShareHandoffJson(request.toJson())), request);

  ShareHandoffAcknowledgement accepted{1, requestUuid, handoffDate, ShareHandoffAcknowledgementOutcome::accepted, {}};
  EXPECT_EQ(encodeShareHandoffJson(accepted.toJson()),
            R"({"createdAt":"2026-03-04T05:06:07Z","outcome":"accepted",)"
            R"("requestID":"0F2A7C1E-5B3D-4E6F-8A9B-0C1D2E3F4A5B","schemaVersion":1})");
  ShareHandoffAcknowledgement rejected{1, requestUuid, handoffDate, ShareHandoffAcknowledgementOutcome::rejected,
                                       "Nope / never"};
  EXPECT_EQ(platform::decodeJson<ShareHandoffAcknowledgement>(encodeShareHandoffJson(rejected.toJson())), rejected);
}

TEST(ShareHandoffRecordsTest, DecodingIgnoresUnknownKeysAndRefusesBadValues) {
  const std::string item = R"({"bookmarkData":"QQ==","displayName":"a","kind":"file"})";
  auto request = [&](const std::string& id, const std::string& date, const std::string& itemText) {
    return R"({"extra":true,"createdAt":")" + date + R"(","id":")" + id + R"(","items":[)" + itemText +
           R"(],"schemaVersion":1})";
  };
  const auto decoded = platform::decodeJson<ShareHandoffRequest>(
      request("0f2a7c1e-5b3d-4e6f-8a9b-0c1d2e3f4a5b", "2026-03-04T05:06:07Z", item));
  EXPECT_EQ(decoded.id, requestUuid);
  EXPECT_EQ(decoded.items.at(0).contentTypeIdentifier, std::nullopt);

  const std::string good = "0F2A7C1E-5B3D-4E6F-8A9B-0C1D2E3F4A5B";
  for (const auto& bad : {request(good, "2026-03-04T05:06:07.5Z", item), request("not-a-uuid", "2026-03-04T05:06:07Z", item),
                          request(good, "2026-03-04T05:06:07Z", R"({"bookmarkData":"QQ==","displayName":"a","kind":"alias"})"),
                          request(good, "2026-03-04T05:06:07Z", R"({"bookmarkData":"Q Q==","displayName":"a","kind":"file"})"),
                          request(good, "2026-03-04T05:06:07Z", R"({"bookmarkData":"QQ==","kind":"file"})")}) {
    EXPECT_THROW(platform::decodeJson<ShareHandoffRequest>(bad), platform::JsonDecodingError) << bad;
  }
  EXPECT_THROW(platform::decodeJson<ShareHandoffAcknowledgement>(
                   R"({"createdAt":"2026-03-04T05:06:07Z","outcome":"maybe","requestID":")" + good + R"(","schemaVersion":1})"),
               platform::JsonDecodingError);
}

TEST(ShareHandoffRecordsTest, ValidationLimits) {
  auto errorOf = [](const ShareHandoffRequest& request) -> std::optional<std::string> {
    auto valid = ShareHandoffStorage::validate(request);
    if (valid) return std::nullopt;
    return valid.error().localizedDescription();
  };
  const std::string invalid = "The shared items could not be validated.";
  EXPECT_EQ(errorOf(handoffRequest(0)), invalid);
  EXPECT_EQ(errorOf(handoffRequest(1)), std::nullopt);
  EXPECT_EQ(errorOf(handoffRequest(100)), std::nullopt);
  EXPECT_EQ(errorOf(handoffRequest(101)), invalid);

  auto withItem = [](ShareHandoffItem item) {
    auto request = handoffRequest(2);
    request.items[1] = std::move(item);
    return request;
  };
  EXPECT_EQ(errorOf(withItem(handoffItem(""))), invalid);
  EXPECT_EQ(errorOf(withItem(handoffItem("a", 0))), invalid);
  EXPECT_EQ(errorOf(withItem(handoffItem("a", 524'288))), std::nullopt);
  EXPECT_EQ(errorOf(withItem(handoffItem("a", 524'289))), invalid);

  auto newer = handoffRequest(0);
  newer.schemaVersion = 2;
  EXPECT_EQ(errorOf(newer), "This shared request requires a newer version of Tavrel.");
}

// ---- The Pending folder ----

class ShareHandoffStorageTest : public ::testing::Test {
 protected:
  fs::path container() const { return directory.path() / "data" / "tavrel" / "group.com.tavrel.macos"; }
  fs::path pending() const { return storage.pendingDirectory(); }
  fs::path put(const std::string& name, const std::string& contents) {
    EXPECT_TRUE(storage.ensurePendingDirectory());
    return directory.writeFile(pending().lexically_relative(directory.path()) / name, contents);
  }
  std::string requestText(const ShareHandoffRequest& request) { return encodeShareHandoffJson(request.toJson()); }
  std::vector<ShareHandoffStorage::PendingEntry> entries() { return storage.pendingEntries().value(); }

  TemporaryDirectory directory;
  ShareHandoffStorage storage{container()};
};

TEST_F(ShareHandoffStorageTest, CreatesAPrivateContainerAndRefusesAnUnsafeOne) {
  ASSERT_TRUE(storage.ensurePendingDirectory());
  for (const auto& folder : {container(), pending(), container().parent_path()}) {
    struct stat status {};
    ASSERT_EQ(::lstat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
  fs::permissions(pending(), fs::perms(0755));
  ASSERT_TRUE(storage.ensurePendingDirectory());
  EXPECT_EQ(fs::status(pending()).permissions(), fs::perms(0700));

  // A Pending folder replaced by a link elsewhere is not used.
  const auto elsewhere = directory.makeDirectory("elsewhere");
  fs::remove(pending());
  fs::create_directory_symlink(elsewhere, pending());
  const auto refused = storage.pendingEntries();
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().localizedDescription(), "Tavrel couldn’t access its shared handoff container.");
  EXPECT_FALSE(storage.write(handoffRequest()));
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(ShareHandoffStorageTest, ListsOnlyRequestFilesInUuidOrderWithLowerCaseNames) {
  auto first = handoffRequest();
  first.id = *platform::Uuid::parse("10000000-0000-4000-8000-000000000000");
  auto second = handoffRequest(3);
  second.id = *platform::Uuid::parse("A0000000-0000-4000-8000-00000000000B");
  ASSERT_TRUE(storage.write(second));
  put("10000000-0000-4000-8000-000000000000.json", requestText(first));  // written by hand, upper case
  put("a0000000-0000-4000-8000-00000000000b.ack.json", "{}");
  put("50000000-0000-4000-8000-000000000000.json.tmp", requestText(first));
  put("50000000-0000-4000-8000-000000000000.ack.json.tmp", "{}");
  put("not-a-uuid.json", requestText(first));
  put(".60000000-0000-4000-8000-000000000000.json", requestText(first));
  auto lower = handoffRequest();
  lower.id = *platform::Uuid::parse("C0000000-0000-4000-8000-00000000000C");
  put("c0000000-0000-4000-8000-00000000000c.json", requestText(lower));

  const auto listed = entries();
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].request, first);
  EXPECT_EQ(listed[1].request, second);
  // A name in lower case names the same request; it is read, not refused on every scan.
  EXPECT_EQ(listed[2].request, lower);
  EXPECT_EQ(listed[2].file.filename(), "c0000000-0000-4000-8000-00000000000c.json");

  // Answering it removes the file that was listed.
  EXPECT_EQ(storage.writeAcknowledgement({1, lower.id, handoffDate, ShareHandoffAcknowledgementOutcome::accepted, {}},
                                         listed[2].file)
                .value(),
            ShareHandoffStorage::AnsweredRequest::taken);
  EXPECT_FALSE(fs::exists(listed[2].file));
  EXPECT_TRUE(fs::exists(storage.acknowledgementFile(lower.id)));
  EXPECT_EQ(entries().size(), 2u);
}

TEST_F(ShareHandoffStorageTest, RefusedRequestsCarryTheirReasonUnderTheFileNamesId) {
  auto mismatched = handoffRequest();
  put(requestUuid.toString() + ".json", requestText(mismatched));
  auto newer = handoffRequest();
  newer.schemaVersion = 2;
  put(newer.id.toString() + ".json", requestText(newer));
  auto undecodable = platform::Uuid::generate();
  put(undecodable.toString() + ".json", R"({"schemaVersion":1)");

  for (const auto& entry : entries()) {
    EXPECT_FALSE(entry.request);
    if (entry.requestID == requestUuid) EXPECT_EQ(entry.rejectionMessage, "The shared items could not be validated.");
    else if (entry.requestID == newer.id) EXPECT_EQ(entry.rejectionMessage, "This shared request requires a newer version of Tavrel.");
    else EXPECT_EQ(entry.requestID, undecodable);
  }
}

TEST_F(ShareHandoffStorageTest, ReadsAFileOfExactlyTheLimitAndRefusesOneByteMore) {
  const auto request = handoffRequest();
  std::string text = requestText(request);
  text.insert(text.size() - 1, std::string(2'097'152 - text.size(), ' '));
  ASSERT_EQ(text.size(), 2'097'152u);
  const auto exact = put(request.id.toString() + ".json", text);
  EXPECT_EQ(storage.readRequest(exact).value(), request);

  const auto over = put(request.id.toString() + ".json", text + " ");
  const auto refused = storage.readRequest(over);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().localizedDescription(), "Too many shared items were provided.");
}

TEST_F(ShareHandoffStorageTest, HostileEntriesAreRefusedWithoutFollowingLinksOrBlocking) {
  const auto request = handoffRequest();
  const auto real = directory.writeFile("outside.json", requestText(request));
  ASSERT_TRUE(storage.ensurePendingDirectory());

  const auto linked = pending() / (request.id.toString() + ".json");
  fs::create_symlink(real, linked);
  EXPECT_EQ(storage.readRequest(linked).error().kind, Kind::invalidRequest);

  const auto zeros = pending() / (platform::Uuid::generate().toString() + ".json");
  fs::create_symlink("/dev/zero", zeros);
  EXPECT_EQ(storage.readRequest(zeros).error().kind, Kind::invalidRequest);

  // Nobody ever writes into this FIFO: a blocking open or read would hang the test.
  const auto fifo = pending() / (platform::Uuid::generate().toString() + ".json");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(storage.readRequest(fifo).error().kind, Kind::invalidRequest);

  const auto folder = pending() / (platform::Uuid::generate().toString() + ".json");
  fs::create_directory(folder);
  EXPECT_EQ(storage.readRequest(folder).error().kind, Kind::invalidRequest);

  const auto listed = entries();
  ASSERT_EQ(listed.size(), 4u);
  for (const auto& entry : listed) EXPECT_EQ(entry.rejectionMessage, "The shared items could not be validated.");
  // Answering removes the link itself, never its target.
  ASSERT_TRUE(storage.writeAcknowledgement(
      {1, request.id, handoffDate, ShareHandoffAcknowledgementOutcome::rejected, "no"}, linked));
  EXPECT_FALSE(fs::is_symlink(linked));
  EXPECT_TRUE(fs::exists(real));
}

TEST_F(ShareHandoffStorageTest, PurgesEntriesOlderThan900SecondsButNotHiddenOnes) {
  const auto now = std::chrono::system_clock::now();
  const auto exact = put("exact.json", "x");
  const auto older = put("older.json.tmp", "x");
  const auto hidden = put(".hidden", "x");
  const auto folder = pending() / "stale-folder";
  fs::create_directories(folder / "inside");
  const auto fresh = put("fresh.ack.json", "x");
  makeOlder(exact, now, 900s);
  makeOlder(older, now, 900s + 1ms);
  makeOlder(hidden, now, 2h);
  makeOlder(folder, now, 2h);

  ASSERT_TRUE(storage.removeStaleEntries(now));
  EXPECT_TRUE(fs::exists(exact));
  EXPECT_FALSE(fs::exists(older));
  EXPECT_TRUE(fs::exists(hidden));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(fresh));
}

TEST_F(ShareHandoffStorageTest, PendingSwappedForALinkByAnotherProgramWhilePurgingNeverLeadsOutside) {
  const auto now = std::chrono::system_clock::now();
  ASSERT_TRUE(storage.ensurePendingDirectory());
  // Old files elsewhere, which a purge led there through a link would take for stale entries.
  const auto outside = directory.makeDirectory("outside");
  std::vector<fs::path> kept;
  for (int index = 0; index < 20; ++index) {
    kept.push_back(directory.writeFile("outside/old-" + std::to_string(index), "keep"));
    makeOlder(kept.back(), now, 2h);
  }
  // Another program swaps "Pending" for a link to them and back, and keeps a stale folder holding a
  // link to them inside the real one.
  const std::string script =
      "import os, sys\n"
      "os.chdir(sys.argv[1])\n"
      "for _ in range(20000):\n"
      "    for step in (lambda: os.rename('Pending', 'Pending.real'), lambda: os.symlink(sys.argv[2], 'Pending'),\n"
      "                 lambda: os.unlink('Pending'), lambda: os.rename('Pending.real', 'Pending'),\n"
      "                 lambda: os.mkdir('Pending/stale'), lambda: os.symlink(sys.argv[2], 'Pending/stale/inner'),\n"
      "                 lambda: os.utime('Pending/stale', (0, 0), follow_symlinks=False)):\n"
      "        try: step()\n"
      "        except OSError: pass\n";
  const pid_t swapper =
      spawnProcess({"/usr/bin/python3", "-c", script, container().string(), outside.string()}, {"PATH=/usr/bin:/bin"});
  ASSERT_GT(swapper, 0);
  int status = 0;
  int purges = 0;
  while (::waitpid(swapper, &status, WNOHANG) == 0) {
    (void)storage.removeStaleEntries(now);
    ++purges;
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(purges, 0);
  for (const auto& file : kept) EXPECT_TRUE(fs::exists(file)) << file;
}

TEST_F(ShareHandoffStorageTest, WritesReplaceTheTargetByRenameAndCheckTheRequest) {
  const auto request = handoffRequest();
  ASSERT_TRUE(storage.write(request));
  const auto target = storage.requestFile(request.id);
  const std::string firstText = readWhole(target);
  // A second name for the old file: a rename leaves it untouched, an in-place rewrite would not.
  const auto keep = directory.path() / "kept";
  fs::create_hard_link(target, keep);
  put(request.id.toString() + ".json.tmp", "left over");

  auto changed = request;
  changed.items.push_back(handoffItem("second"));
  ASSERT_TRUE(storage.write(changed));
  EXPECT_EQ(storage.readRequest(target).value(), changed);
  EXPECT_EQ(readWhole(keep), firstText);
  EXPECT_FALSE(fs::exists(storage.temporaryRequestFile(request.id)));

  // Five full bookmarks encode to more than 2 MiB.
  auto huge = handoffRequest(5);
  for (auto& item : huge.items) item.bookmarkData.assign(524'288, 7);
  EXPECT_EQ(storage.write(huge).error().kind, Kind::requestTooLarge);
  EXPECT_EQ(storage.write(handoffRequest(0)).error().kind, Kind::invalidRequest);

  // A folder squatting on the acknowledgement's name makes the write fail rather than vanish.
  fs::create_directory(storage.acknowledgementFile(request.id));
  EXPECT_FALSE(storage.writeAcknowledgement({1, request.id, handoffDate, ShareHandoffAcknowledgementOutcome::accepted, {}}));
  EXPECT_TRUE(fs::exists(target));
}

TEST_F(ShareHandoffStorageTest, AnAcknowledgementIsRemovedOnceReadWhateverItHeld) {
  const auto id = platform::Uuid::generate();
  EXPECT_EQ(storage.readAcknowledgement(id).value(), std::nullopt);
  EXPECT_FALSE(fs::exists(pending()));

  const ShareHandoffAcknowledgement answer{1, id, handoffDate, ShareHandoffAcknowledgementOutcome::rejected, "No room"};
  ASSERT_TRUE(storage.writeAcknowledgement(answer));
  EXPECT_EQ(storage.readAcknowledgement(id).value(), answer);
  EXPECT_FALSE(fs::exists(storage.acknowledgementFile(id)));

  auto foreign = answer;
  foreign.requestID = platform::Uuid::generate();
  const std::vector<std::pair<std::string, Kind>> damaged = {
      {"{not json", Kind::decoding},
      {encodeShareHandoffJson(ShareHandoffAcknowledgement{2, id, handoffDate, answer.outcome, {}}.toJson()),
       Kind::invalidRequest},
      {encodeShareHandoffJson(foreign.toJson()), Kind::invalidRequest}};
  for (const auto& [text, kind] : damaged) {
    put(id.toString() + ".ack.json", text);
    const auto read = storage.readAcknowledgement(id);
    ASSERT_FALSE(read) << text;
    EXPECT_EQ(read.error().kind, kind);
    EXPECT_FALSE(fs::exists(storage.acknowledgementFile(id))) << text;
    EXPECT_EQ(storage.readAcknowledgement(id).value(), std::nullopt);
  }
  fs::create_symlink("/dev/zero", storage.acknowledgementFile(id));
  EXPECT_EQ(storage.readAcknowledgement(id).error().kind, Kind::invalidRequest);
  EXPECT_FALSE(fs::is_symlink(storage.acknowledgementFile(id)));
}

TEST_F(ShareHandoffStorageTest, RemovingRequestFilesKeepsTheAcknowledgement) {
  const auto request = handoffRequest();
  ASSERT_TRUE(storage.write(request));
  put(request.id.toString() + ".json.tmp", "partial");
  ASSERT_TRUE(storage.writeAcknowledgement({1, request.id, handoffDate, ShareHandoffAcknowledgementOutcome::accepted, {}}));
  ASSERT_TRUE(storage.write(request));
  EXPECT_TRUE(storage.removeRequestFiles(request.id));
  EXPECT_FALSE(fs::exists(storage.requestFile(request.id)));
  EXPECT_FALSE(fs::exists(storage.temporaryRequestFile(request.id)));
  EXPECT_TRUE(fs::exists(storage.acknowledgementFile(request.id)));
}

TEST_F(ShareHandoffStorageTest, OfTheProgramsAnswerAndTheSharesCancelOnlyOneTakesTheRequest) {
  using Answered = ShareHandoffStorage::AnsweredRequest;
  const auto request = handoffRequest();
  const ShareHandoffAcknowledgement accepted{1, request.id, handoffDate, ShareHandoffAcknowledgementOutcome::accepted, {}};

  // The program answers first: the share's Cancel finds the request gone and the answer there.
  ASSERT_TRUE(storage.write(request));
  EXPECT_EQ(storage.writeAcknowledgement(accepted).value(), Answered::taken);
  EXPECT_FALSE(storage.removeRequestFiles(request.id));
  EXPECT_EQ(storage.readAcknowledgement(request.id).value(), accepted);

  // The share cancels first: the program's answer finds the request withdrawn and takes it back.
  ASSERT_TRUE(storage.write(request));
  EXPECT_TRUE(storage.removeRequestFiles(request.id));
  EXPECT_EQ(storage.writeAcknowledgement(accepted).value(), Answered::withdrawn);
  storage.removeAcknowledgement(request.id);
  EXPECT_TRUE(fs::is_empty(pending()));
}

TEST(ShareHandoffBookmarkTest, ResolvesOnlyWhileThePathNamesTheSameFile) {
  TemporaryDirectory directory;
  const auto file = directory.writeFile("report.pdf", "one");
  const auto bytes = makeShareHandoffBookmark(file).value().encoded();
  EXPECT_EQ(ShareHandoffBookmark::decode(bytes)->path, file);
  auto resolved = resolveShareHandoffBookmark(bytes);
  EXPECT_EQ(resolved->path, file);
  EXPECT_FALSE(resolved->isStale);

  // Swapped for another file of the same name (made first, so it cannot reuse the inode).
  const auto other = directory.writeFile("other.pdf", "two");
  fs::rename(other, file);
  EXPECT_TRUE(resolveShareHandoffBookmark(bytes)->isStale);
  const auto swapped = makeShareHandoffBookmark(file).value().encoded();
  fs::remove(file);
  EXPECT_TRUE(resolveShareHandoffBookmark(swapped)->isStale);

  EXPECT_FALSE(resolveShareHandoffBookmark({'T', 'V', 'B', 'M', 1, 0}));
  auto relative = ShareHandoffBookmark{"relative/path", 1, 2}.encoded();
  EXPECT_FALSE(resolveShareHandoffBookmark(relative));
  EXPECT_FALSE(makeShareHandoffBookmark(directory.path() / "missing"));
}

}  // namespace
}  // namespace tavrel
