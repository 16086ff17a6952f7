#include <dirent.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "platform/manual_main_queue.h"
#include "platform/uuid.h"
#include "support/temporary_directory.h"
#include "transfer/local_transfer_file_preparer.h"

using namespace tavrel;
using ::testing::ElementsAre;

namespace {

const TransferDefaults defaults{7, TransferRegion::eu, false, false, std::nullopt, true};

TransferSelection selectionOf(const std::vector<std::filesystem::path>& paths) {
  auto selection = TransferSelection::fromURLs(paths);
  if (!selection) throw std::runtime_error("unusable test selection");
  return *selection;
}

PreparationOutcome prepareNow(const std::vector<std::filesystem::path>& paths, std::stop_token stop = {}) {
  return LocalTransferFilePreparer::prepareNow(selectionOf(paths), defaults, std::move(stop));
}

std::vector<std::string> relativePaths(const PreparationOutcome& outcome) {
  std::vector<std::string> paths;
  if (const auto* prepared = std::get_if<PreparedTransfer>(&outcome)) {
    for (const auto& file : prepared->files) paths.push_back(file.relativePath);
  }
  return paths;
}

TransferPreparationError errorOf(const PreparationOutcome& outcome) {
  if (const auto* error = std::get_if<TransferPreparationError>(&outcome)) return *error;
  throw std::runtime_error("expected a preparation error");
}

void makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::filesystem::create_symlink(target, link);
}

// Many small files quickly, without stream objects.
void writeSmallFiles(const std::filesystem::path& folder, int count) {
  std::filesystem::create_directories(folder);
  for (int index = 0; index < count; ++index) {
    const auto path = folder / ("f" + std::to_string(index) + ".txt");
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::write(descriptor, "x", 1), 1);
    ::close(descriptor);
  }
}

}  // namespace

TEST(LocalTransferFilePreparerTest, FolderContentsBecomeFilesUnderTheFolderNameSkippingEmptyOnes) {
  tavrel::testing::TemporaryDirectory directory;
  const auto photos = directory.makeDirectory("Photos");
  directory.writeFile("Photos/a.txt", "abc");
  directory.writeFile("Photos/b.txt", "");
  directory.writeFile("Photos/c/d.bin", "12345");
  directory.writeFile("Photos/.DS_Store", "hidden");
  directory.makeDirectory("Photos/empty/deeper");

  const auto outcome = prepareNow({photos});
  ASSERT_TRUE(std::holds_alternative<PreparedTransfer>(outcome));
  const auto& prepared = std::get<PreparedTransfer>(outcome);
  EXPECT_EQ(prepared.title, "Photos");
  EXPECT_EQ(prepared.defaults, defaults);
  EXPECT_EQ(prepared.sourceSelection, selectionOf({photos}));
  EXPECT_THAT(relativePaths(outcome), ElementsAre("Photos/.DS_Store", "Photos/a.txt", "Photos/c/d.bin"));

  const auto& a = prepared.files[1];
  EXPECT_EQ(a.sourceURL, photos / "a.txt");
  EXPECT_EQ(a.size, 3);
  EXPECT_EQ(a.mimeType, "text/plain");
  EXPECT_EQ(prepared.files[2].sourceURL, photos / "c" / "d.bin");
  EXPECT_EQ(prepared.files[2].size, 5);
  EXPECT_EQ(prepared.files[0].mimeType, "application/octet-stream");

  std::set<std::string> ids;
  for (const auto& file : prepared.files) {
    const auto parsed = platform::Uuid::parse(file.referenceID);
    ASSERT_TRUE(parsed) << file.referenceID;
    EXPECT_EQ(parsed->toString(), file.referenceID);  // upper-case text form
    ids.insert(file.referenceID);
  }
  EXPECT_EQ(ids.size(), prepared.files.size());
}

TEST(LocalTransferFilePreparerTest, FilesAreOrderedByRelativePathAcrossItemsAndTheTitleIsTheFirstItem) {
  tavrel::testing::TemporaryDirectory directory;
  const auto b = directory.writeFile("b.txt", "bb");
  const auto a = directory.writeFile("a.txt", "a");
  const auto folder = directory.makeDirectory("B-folder");
  directory.writeFile("B-folder/z.pdf", "%PDF");
  // Composed and decomposed "é" are one name after normalisation; both sort before "f".
  directory.writeFile("B-folder/e\xCC\x81-decomposed.txt", "1");
  directory.writeFile("B-folder/f.txt", "1");
  directory.writeFile("B-folder/\xC3\xA9-composed.txt", "1");

  const auto outcome = prepareNow({b, a, folder});
  ASSERT_TRUE(std::holds_alternative<PreparedTransfer>(outcome));
  EXPECT_EQ(std::get<PreparedTransfer>(outcome).title, "b.txt");
  EXPECT_THAT(relativePaths(outcome),
              ElementsAre("B-folder/f.txt", "B-folder/z.pdf", "B-folder/\xC3\xA9-composed.txt",
                          "B-folder/e\xCC\x81-decomposed.txt", "a.txt", "b.txt"));
  EXPECT_EQ(std::get<PreparedTransfer>(outcome).files[1].mimeType, "application/pdf");
}

TEST(LocalTransferFilePreparerTest, ItemsWithTheSameNameAreNumberedWithoutReusingAName) {
  tavrel::testing::TemporaryDirectory directory;
  std::vector<std::filesystem::path> folders;
  for (const char* parent : {"one", "two", "three"}) {
    folders.push_back(directory.makeDirectory(std::filesystem::path(parent) / "Photos"));
    directory.writeFile(std::filesystem::path(parent) / "Photos" / "pic.jpg", "jpeg");
  }
  EXPECT_THAT(relativePaths(prepareNow(folders)),
              ElementsAre("Photos (2)/pic.jpg", "Photos (3)/pic.jpg", "Photos/pic.jpg"));

  // An item that is itself called "Photos (2)" keeps its name, and the second "Photos" moves on
  // to a number nobody has: no two files may share a relative path.
  folders[2] = directory.makeDirectory("four/Photos (2)");
  directory.writeFile("four/Photos (2)/pic.jpg", "jpeg");
  EXPECT_THAT(relativePaths(prepareNow(folders)),
              ElementsAre("Photos (2)/pic.jpg", "Photos (3)/pic.jpg", "Photos/pic.jpg"));
  EXPECT_EQ(LocalTransferFilePreparer::topLevelNames(selectionOf(folders)),
            (std::vector<std::string>{"Photos", "Photos (3)", "Photos (2)"}));

  // The numbered name comes first in the selection.
  EXPECT_EQ(LocalTransferFilePreparer::topLevelNames(selectionOf({folders[2], folders[0], folders[1]})),
            (std::vector<std::string>{"Photos (2)", "Photos", "Photos (3)"}));
}

TEST(LocalTransferFilePreparerTest, SymbolicLinksAreRefusedAtTheTopAndAnywhereInside) {
  tavrel::testing::TemporaryDirectory directory;
  const auto target = directory.writeFile("target.txt", "data");
  const auto targetFolder = directory.makeDirectory("target-folder");
  directory.writeFile("target-folder/inside.txt", "data");

  const auto topLink = directory.path() / "shortcut.txt";
  makeSymlink(target, topLink);
  EXPECT_EQ(errorOf(prepareNow({target, topLink})), TransferPreparationError::unsupportedSymbolicLink("shortcut.txt"));
  EXPECT_EQ(errorOf(prepareNow({topLink})).localizedDescription(),
            "\xE2\x80\x9C" "shortcut.txt\xE2\x80\x9D is a symbolic link and can\xE2\x80\x99t be transferred securely.");

  const auto topFolderLink = directory.path() / "folder-link";
  makeSymlink(targetFolder, topFolderLink);
  EXPECT_EQ(errorOf(prepareNow({topFolderLink})), TransferPreparationError::unsupportedSymbolicLink("folder-link"));

  const auto withFileLink = directory.makeDirectory("with-file-link/deep");
  directory.writeFile("with-file-link/ok.txt", "fine");
  makeSymlink(target, withFileLink / "to-file");
  EXPECT_EQ(errorOf(prepareNow({directory.path() / "with-file-link"})),
            TransferPreparationError::unsupportedSymbolicLink("to-file"));

  const auto withFolderLink = directory.makeDirectory("with-folder-link");
  makeSymlink(targetFolder, withFolderLink / "to-folder");
  EXPECT_EQ(errorOf(prepareNow({withFolderLink})), TransferPreparationError::unsupportedSymbolicLink("to-folder"));

  const auto withDanglingLink = directory.makeDirectory("with-dangling-link");
  makeSymlink(directory.path() / "nowhere", withDanglingLink / "dangling");
  EXPECT_EQ(errorOf(prepareNow({withDanglingLink})), TransferPreparationError::unsupportedSymbolicLink("dangling"));
}

TEST(LocalTransferFilePreparerTest, NothingToSendIsAnError) {
  tavrel::testing::TemporaryDirectory directory;
  const auto empty = directory.writeFile("empty.txt", "");
  const auto alsoEmpty = directory.writeFile("also-empty.txt", "");
  const auto emptyFolder = directory.makeDirectory("nothing/inside");
  const auto expected = TransferPreparationError::noTransferableFiles();

  EXPECT_EQ(errorOf(prepareNow({empty, alsoEmpty})), expected);
  EXPECT_EQ(errorOf(prepareNow({directory.path() / "nothing", empty})), expected);
  EXPECT_EQ(expected.localizedDescription(), "No transferable files were found in this selection.");
}

TEST(LocalTransferFilePreparerTest, ItemsThatVanishedOrChangedAreReportedByName) {
  tavrel::testing::TemporaryDirectory directory;
  const auto file = directory.writeFile("gone.txt", "soon gone");
  const auto folder = directory.makeDirectory("Folder");
  directory.writeFile("Folder/a.txt", "a");
  const auto selection = selectionOf({file, folder});

  std::filesystem::remove(file);
  EXPECT_EQ(errorOf(LocalTransferFilePreparer::prepareNow(selection, defaults, {})),
            TransferPreparationError::cannotRead("gone.txt"));

  // A folder replaced by a file between choosing and preparing can't be walked.
  directory.writeFile("gone.txt", "back");
  std::filesystem::remove_all(folder);
  directory.writeFile("Folder", "now a file");
  const auto error = errorOf(LocalTransferFilePreparer::prepareNow(selection, defaults, {}));
  EXPECT_EQ(error, TransferPreparationError::cannotRead("Folder"));
  EXPECT_EQ(error.localizedDescription(),
            "Tavrel couldn\xE2\x80\x99t read \xE2\x80\x9C" "Folder\xE2\x80\x9D. Check its permissions and try again.");
}

TEST(LocalTransferFilePreparerTest, PipesArePassedOverAndNamesThatAreNotUTF8AreSentUnderReadableNames) {
  tavrel::testing::TemporaryDirectory directory;
  const auto folder = directory.makeDirectory("Mixed");
  directory.writeFile("Mixed/real.txt", "data");
  // Opening a pipe would block the walk; it is never opened, only passed over.
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
  EXPECT_THAT(relativePaths(prepareNow({folder})), ElementsAre("Mixed/real.txt"));

  // The service and the interface take names as text (U+FFFD for each stray byte); the file is
  // still read by its real bytes, in a folder named so too, and at the top.
  const auto latin1 = directory.writeFile("Mixed/caf\xE9/caf\xE9.txt", "latin-1 name");
  std::filesystem::remove(folder / "pipe");
  const auto outcome = prepareNow({folder, latin1});
  EXPECT_THAT(relativePaths(outcome), ElementsAre("Mixed/caf\uFFFD/caf\uFFFD.txt", "Mixed/real.txt", "caf\uFFFD.txt"));
  const auto& prepared = std::get<PreparedTransfer>(outcome);
  EXPECT_EQ(prepared.files[0].sourceURL, latin1);
  EXPECT_EQ(prepared.files[2].sourceURL, latin1);
  EXPECT_EQ(std::get<PreparedTransfer>(prepareNow({latin1})).title, "caf\uFFFD.txt");

  // What preparation saw is kept, for the upload to send only that file.
  struct stat status {};
  ASSERT_EQ(::stat(latin1.c_str(), &status), 0);
  EXPECT_EQ(prepared.files[0].identity, platform::FileIdentity::of(status));
}

TEST(LocalTransferFilePreparerTest, AnUnreadableSubfolderFailsThePreparation) {
  tavrel::testing::TemporaryDirectory directory;
  const auto folder = directory.makeDirectory("Shared");
  directory.writeFile("Shared/visible.txt", "ok");
  const auto locked = directory.makeDirectory("Shared/locked");
  directory.writeFile("Shared/locked/secret.txt", "hidden");
  std::filesystem::permissions(locked, std::filesystem::perms::none);

  if (DIR* probe = ::opendir(locked.c_str())) {
    ::closedir(probe);
    GTEST_SKIP() << "permission bits do not stop this user (root?) from reading folders; "
                    "AWalkOutOfFileDescriptorsFailsInsteadOfSkipping covers unreadable folders here";
  }
  EXPECT_EQ(errorOf(prepareNow({folder})), TransferPreparationError::cannotRead("locked"));
}

// Runs in a child process: limiting open files there leaves the test runner alone. Opening a
// folder then fails for any user, root included.
TEST(LocalTransferFilePreparerDeathTest, AWalkOutOfFileDescriptorsFailsInsteadOfSkipping) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  tavrel::testing::TemporaryDirectory directory;
  std::filesystem::path deep = directory.path() / "Deep";
  for (int level = 0; level < 40; ++level) {
    deep /= "level" + std::to_string(level);
    directory.writeFile(std::filesystem::relative(deep, directory.path()) / "file.txt", "x");
  }
  const auto selection = selectionOf({directory.path() / "Deep"});

  const auto walkWithFewDescriptors = [&] {
    // Warm up what opens files of its own (the MIME database, the random source) first.
    (void)LocalTransferFilePreparer::prepareNow(selectionOf({directory.path() / "Deep" / "level0" / "file.txt"}),
                                                defaults, {});
    const int firstFree = ::dup(0);
    ::close(firstFree);
    const rlimit limit{static_cast<rlim_t>(firstFree + 8), static_cast<rlim_t>(firstFree + 8)};
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) std::_Exit(3);
    const auto outcome = LocalTransferFilePreparer::prepareNow(selection, defaults, {});
    const auto* error = std::get_if<TransferPreparationError>(&outcome);
    if (error == nullptr) std::_Exit(1);
    const auto* cannotRead = std::get_if<TransferPreparationError::CannotRead>(&error->reason);
    if (cannotRead == nullptr || cannotRead->name.rfind("level", 0) != 0) std::_Exit(2);
    std::_Exit(0);
  };
  EXPECT_EXIT(walkWithFewDescriptors(), ::testing::ExitedWithCode(0), "");
}

TEST(LocalTransferFilePreparerTest, AStopBeforeTheFirstItemEndsAsCancelled) {
  tavrel::testing::TemporaryDirectory directory;
  const auto file = directory.writeFile("a.txt", "a");
  std::stop_source stopped;
  stopped.request_stop();
  EXPECT_TRUE(std::holds_alternative<Cancelled>(prepareNow({file}, stopped.get_token())));
}

namespace {

// One large folder for the tests that stop a walk half-way; made once, it takes a while.
class LocalTransferFilePreparerWalkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory = new tavrel::testing::TemporaryDirectory();
    for (int part = 0; part < 10; ++part) writeSmallFiles(directory->path() / "Large" / std::to_string(part), 1000);
  }
  static void TearDownTestSuite() {
    delete directory;
    directory = nullptr;
  }

  static std::filesystem::path largeFolder() { return directory->path() / "Large"; }

  // Waits until a worker holds a folder inside `folder` open, that is, until the walk is under way.
  static bool waitUntilWalking(const std::filesystem::path& folder) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code error;
      for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code readError;
        const auto target = std::filesystem::read_symlink(entry.path(), readError).string();
        if (!readError && target.rfind(folder.string() + "/", 0) == 0) return true;
      }
    }
    return false;
  }

  platform::ManualMainQueue queue;
  std::optional<PreparationOutcome> outcome;

  static tavrel::testing::TemporaryDirectory* directory;
};

tavrel::testing::TemporaryDirectory* LocalTransferFilePreparerWalkTest::directory = nullptr;

}  // namespace

TEST_F(LocalTransferFilePreparerWalkTest, AStopDuringTheWalkEndsAsCancelled) {
  LocalTransferFilePreparer preparer(queue);
  std::stop_source stop;
  preparer.prepare(selectionOf({largeFolder()}), defaults, stop.get_token(),
                   [&](PreparationOutcome result) { outcome = std::move(result); });
  ASSERT_TRUE(waitUntilWalking(largeFolder()));
  stop.request_stop();
  ASSERT_TRUE(queue.runUntil([&] { return outcome.has_value(); }));
  EXPECT_TRUE(std::holds_alternative<Cancelled>(*outcome));
}

TEST_F(LocalTransferFilePreparerWalkTest, DestroyingThePreparerStopsItsWalks) {
  {
    LocalTransferFilePreparer preparer(queue);
    preparer.prepare(selectionOf({largeFolder()}), defaults, {},
                     [&](PreparationOutcome result) { outcome = std::move(result); });
    ASSERT_TRUE(waitUntilWalking(largeFolder()));
  }
  queue.runUntilIdle();
  ASSERT_TRUE(outcome.has_value());
  EXPECT_TRUE(std::holds_alternative<Cancelled>(*outcome));
}

TEST_F(LocalTransferFilePreparerWalkTest, AnUnstoppedWalkFindsEveryFile) {
  const auto result = LocalTransferFilePreparer::prepareNow(selectionOf({largeFolder()}), defaults, {});
  ASSERT_TRUE(std::holds_alternative<PreparedTransfer>(result));
  const auto& files = std::get<PreparedTransfer>(result).files;
  EXPECT_EQ(files.size(), 10000u);
  EXPECT_TRUE(std::is_sorted(files.begin(), files.end(),
                             [](const TransferFile& a, const TransferFile& b) { return a.relativePath < b.relativePath; }));
}

TEST(LocalTransferFilePreparerTest, TheResultArrivesOnTheMainQueueAndNeverInsideTheCall) {
  tavrel::testing::TemporaryDirectory directory;
  const auto file = directory.writeFile("a.txt", "a");
  platform::ManualMainQueue queue;
  LocalTransferFilePreparer preparer(queue);
  std::vector<PreparationOutcome> outcomes;
  for (int run = 0; run < 3; ++run) {
    preparer.prepare(selectionOf({file}), defaults, {}, [&](PreparationOutcome result) { outcomes.push_back(result); });
  }
  EXPECT_TRUE(outcomes.empty());
  ASSERT_TRUE(queue.runUntil([&] { return outcomes.size() == 3; }));
  for (const auto& outcome : outcomes) EXPECT_THAT(relativePaths(outcome), ElementsAre("a.txt"));
}
