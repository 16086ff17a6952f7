#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "platform/manual_main_queue.h"
#include "shareextension/core/share_extension_item_loader.h"
#include "sharehandoff/share_handoff_bookmark.h"
#include "sharehandoff/share_handoff_records.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using namespace std::chrono_literals;
using testing::TemporaryDirectory;
using Kind = ShareExtensionItemLoaderError::Kind;
namespace fs = std::filesystem;

std::string textOf(const ShareExtensionLoadOutcome& outcome) {
  if (const auto* error = std::get_if<ShareExtensionItemLoaderError>(&outcome)) return error->localizedDescription();
  if (std::holds_alternative<ShareExtensionLoadCancelled>(outcome)) return "cancelled";
  return "loaded";
}

// A reader the test answers by hand, from its worker thread.
class HeldReader {
 public:
  ShareExtensionItemReading reading() {
    return [this](const fs::path& path, const std::optional<std::string>&, std::stop_token stop) {
      ++calls;
      started.set_value();
      release.get_future().wait();
      stopped = stop.stop_requested();
      LoadedShareExtensionItem item;
      item.sourceURL = path;
      item.handoffItem = {{1}, path.filename().string(), ShareHandoffItemKind::file, std::nullopt};
      auto result = platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError>(item);
      finished.set_value();
      return result;
    };
  }
  void answer() {
    release.set_value();
    finished.get_future().wait();  // the late answer has been handed in
  }

  std::atomic<int> calls{0};
  std::atomic<bool> stopped{false};
  std::promise<void> started;
  std::promise<void> release;
  std::promise<void> finished;
};

class ShareExtensionItemLoaderTest : public ::testing::Test {
 protected:
  void load(std::vector<ShareExtensionAttachment> attachments, std::stop_token stop = {}) {
    outcome.reset();
    completions = 0;
    loader.load(std::move(attachments), 15s, queue, stop, [this](ShareExtensionLoadOutcome result) {
      ++completions;
      outcome = std::move(result);
    });
    EXPECT_FALSE(outcome) << "never inside the call";
  }
  ShareExtensionLoadOutcome settle() {
    EXPECT_TRUE(queue.runUntil([&] { return outcome.has_value(); }));
    return *outcome;
  }
  std::vector<LoadedShareExtensionItem> items() {
    auto result = settle();
    EXPECT_EQ(textOf(result), "loaded");
    return std::get<std::vector<LoadedShareExtensionItem>>(result);
  }

  platform::ManualMainQueue queue;
  TemporaryDirectory directory;
  ShareExtensionItemLoader loader;
  std::optional<ShareExtensionLoadOutcome> outcome;
  int completions = 0;
};

TEST_F(ShareExtensionItemLoaderTest, CountsFromNoneToOneHundred) {
  load({});
  EXPECT_EQ(textOf(settle()), "Select at least one local file or folder to send.");

  std::vector<ShareExtensionAttachment> hundred;
  for (int index = 0; index < 100; ++index) {
    hundred.push_back({directory.writeFile("f" + std::to_string(index), "x").string(), std::nullopt});
  }
  load(hundred);
  EXPECT_EQ(items().size(), 100u);

  hundred.push_back(hundred.front());
  load(hundred);
  EXPECT_EQ(textOf(settle()), "Tavrel accepts up to 100 items at a time.");
}

TEST_F(ShareExtensionItemLoaderTest, ReadsFilesAndFoldersFromPathsAndFileAddresses) {
  const auto file = directory.writeFile("Summer Trip.jpg", "12345");
  const auto folder = directory.makeDirectory("Album");
  const auto encoded = "file://" + (directory.path() / "Summer%20Trip.jpg").string();
  load({{encoded, ""}, {folder.string() + "/", "Holiday pictures"}, {"file://localhost" + file.string(), std::nullopt}});
  const auto loaded = items();
  ASSERT_EQ(loaded.size(), 3u);

  EXPECT_EQ(loaded[0].sourceURL, file);
  EXPECT_EQ(loaded[0].handoffItem.displayName, "Summer Trip.jpg");  // an empty suggestion is no name
  EXPECT_EQ(loaded[0].handoffItem.kind, ShareHandoffItemKind::file);
  EXPECT_EQ(loaded[0].byteCount, 5);
  EXPECT_EQ(loaded[0].contentTypeIdentifier, "image/jpeg");
  EXPECT_EQ(loaded[0].handoffItem.contentTypeIdentifier, loaded[0].contentTypeIdentifier);
  const auto bookmark = ShareHandoffBookmark::decode(loaded[0].handoffItem.bookmarkData);
  ASSERT_TRUE(bookmark);
  EXPECT_EQ(bookmark->path, file);

  EXPECT_EQ(loaded[1].handoffItem.displayName, "Holiday pictures");
  EXPECT_EQ(loaded[1].handoffItem.kind, ShareHandoffItemKind::folder);
  EXPECT_EQ(loaded[1].byteCount, std::nullopt);
  EXPECT_EQ(loaded[1].sourceURL, folder);
  EXPECT_EQ(loaded[2].sourceURL, file);
}

// A name that is not UTF-8 travels as text with U+FFFD in the request, which must encode; the
// bookmark keeps the real bytes, so the program reads the very file. Nautilus' entry names it by
// its file URI, whose escaped bytes must lead to the same file.
TEST_F(ShareExtensionItemLoaderTest, ANameThatIsNotUTF8IsHandedOverUnderAReadableName) {
  const auto file = directory.writeFile("caf\xE9.txt", "latin-1 name");
  load({{file.string(), std::nullopt}, {"file://" + directory.path().string() + "/caf%E9.txt", std::nullopt}});
  const auto loaded = items();
  ASSERT_EQ(loaded.size(), 2u);
  for (const auto& item : loaded) {
    EXPECT_EQ(item.handoffItem.displayName, "caf\uFFFD.txt");
    EXPECT_NO_THROW(encodeShareHandoffJson(item.handoffItem.toJson()));
    const auto bookmark = ShareHandoffBookmark::decode(item.handoffItem.bookmarkData);
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(bookmark->path, file);
  }
}

TEST_F(ShareExtensionItemLoaderTest, RefusesWhatIsNotALocalFileOrFolder) {
  const auto fifo = directory.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Links are refused here, where the user can still share the original: one to a folder (also
  // named with a trailing slash) and a dangling one.
  fs::create_directory_symlink(directory.makeDirectory("Photos"), directory.path() / "Photos link");
  fs::create_symlink(directory.path() / "nowhere", directory.path() / "dangling");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {(directory.path() / "Photos link/").string(),
       "“Photos link” is a symbolic link and can’t be sent. Share the original file or folder instead."},
      {"file://" + (directory.path() / "dangling").string(),
       "“dangling” is a symbolic link and can’t be sent. Share the original file or folder instead."},
      {"https://example.com/report.pdf", "One or more selected items aren’t local files or folders."},
      {fifo.string(), "One or more selected items aren’t local files or folders."},
      {"sftp://server/home/ada/report.pdf", "Save this item locally, then share it from Finder."},
      {"file://server/home/ada/report.pdf", "Save this item locally, then share it from Finder."},
      {(directory.path() / "gone.txt").string(), "One or more selected items are no longer available."},
  };
  for (const auto& [location, text] : cases) {
    // The first failure ends the load: the good item after it is never read.
    std::atomic<int> reads{0};
    loader.reader = [&reads](const fs::path& path, const std::optional<std::string>& name, std::stop_token stop) {
      ++reads;
      return readLocalShareItem(path, name, stop);
    };
    load({{location, std::nullopt}, {directory.writeFile("good.txt", "x").string(), std::nullopt}});
    EXPECT_EQ(textOf(settle()), text) << location;
    EXPECT_LE(reads.load(), 1) << location;
  }
}

TEST_F(ShareExtensionItemLoaderTest, AnItemThatMissesTheTimeLimitFailsAndItsLateAnswerChangesNothing) {
  HeldReader held;
  loader.reader = held.reading();
  load({{directory.writeFile("slow.txt", "x").string(), std::nullopt}, {"/never/read", std::nullopt}});
  queue.runUntilIdle();
  held.started.get_future().wait();
  queue.advance(15s - 1ns);
  EXPECT_FALSE(outcome);
  queue.advance(1ns);
  queue.runUntilIdle();
  EXPECT_EQ(textOf(*outcome), "Finder didn’t finish preparing this item. Try sharing it again.");

  held.answer();
  queue.runUntilIdle();
  EXPECT_TRUE(held.stopped);
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(held.calls, 1);
}

TEST_F(ShareExtensionItemLoaderTest, AnAnswerJustInsideTheLimitLoads) {
  HeldReader held;
  loader.reader = held.reading();
  load({{directory.writeFile("slow.txt", "x").string(), std::nullopt}});
  queue.runUntilIdle();
  held.started.get_future().wait();
  queue.advance(15s - 1ns);
  held.answer();
  EXPECT_EQ(items().size(), 1u);
  queue.advance(1min);
  EXPECT_EQ(completions, 1);
}

TEST_F(ShareExtensionItemLoaderTest, CancellingBeforeOrDuringTheLoadEndsItAsCancelled) {
  std::stop_source before;
  before.request_stop();
  HeldReader unused;
  loader.reader = unused.reading();
  load({{directory.writeFile("a.txt", "x").string(), std::nullopt}}, before.get_token());
  EXPECT_EQ(textOf(settle()), "cancelled");
  EXPECT_EQ(unused.calls, 0);

  HeldReader held;
  loader.reader = held.reading();
  std::stop_source during;
  load({{directory.writeFile("b.txt", "x").string(), std::nullopt}}, during.get_token());
  queue.runUntilIdle();
  held.started.get_future().wait();
  during.request_stop();
  EXPECT_EQ(textOf(settle()), "cancelled");
  held.answer();
  queue.advance(20s);
  EXPECT_TRUE(held.stopped);
  EXPECT_EQ(completions, 1);
}

TEST(ShareExtensionRepresentationRequestTest, ACancelBeforeTheLoadAnswersAtOnce) {
  platform::ManualMainQueue queue;
  auto request = std::make_shared<ShareExtensionRepresentationRequest>("/tmp/x", std::nullopt);
  request->cancel();
  std::vector<std::size_t> outcomes;
  bool readerCalled = false;
  request->load(queue, 15s, [&](const fs::path&, const std::optional<std::string>&, std::stop_token) {
    readerCalled = true;
    return platform::Expected<LoadedShareExtensionItem, ShareExtensionItemLoaderError>(
        platform::unexpected(ShareExtensionItemLoaderError{Kind::unavailableItem, {}}));
  }, [&](ShareExtensionRepresentationRequest::Outcome outcome) { outcomes.push_back(outcome.index()); });
  EXPECT_TRUE(outcomes.empty());
  queue.runUntilIdle();
  queue.advance(20s);
  EXPECT_EQ(outcomes, std::vector<std::size_t>{3});  // Cancelled, once
  EXPECT_FALSE(readerCalled);
}

}  // namespace
}  // namespace tavrel
