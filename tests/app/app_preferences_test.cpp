#include "app/app_preferences.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "platform/logger.h"
#include "support/temporary_directory.h"

namespace tavrel {
namespace {

std::string contents(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class AppPreferencesTest : public ::testing::Test {
 protected:
  std::filesystem::path defaultsPath() const { return folder.path() / "config" / "tavrel" / "defaults.json"; }
  void store(std::string_view json) const { folder.writeFile("config/tavrel/defaults.json", json); }
  std::unique_ptr<AppPreferences> load() const {
    return std::make_unique<AppPreferences>(std::make_shared<UserDefaults>(defaultsPath()));
  }

  testing::TemporaryDirectory folder;
};

TEST_F(AppPreferencesTest, ReadsStoredValuesAndFallsBackForEveryOtherShape) {
  struct Case {
    const char* json;
    std::int64_t version;
    bool quickDrop;
  };
  for (const auto& [json, version, quickDrop] : std::vector<Case>{
           {R"({})", 0, false},
           {R"({"com.tavrel.onboarding.completedVersion": 1, "com.tavrel.quickDrop.enabled": true})", 1, true},
           {R"({"com.tavrel.onboarding.completedVersion": -3, "com.tavrel.quickDrop.enabled": 0})", 0, false},
           {R"({"com.tavrel.onboarding.completedVersion": "1", "com.tavrel.quickDrop.enabled": "true"})", 0, false},
           {R"({"com.tavrel.onboarding.completedVersion": 2.9, "com.tavrel.quickDrop.enabled": 1})", 2, true},
           {R"({"com.tavrel.onboarding.completedVersion": null, "com.tavrel.quickDrop.enabled": [true]})", 0, false},
           {R"([1, true])", 0, false},
           {R"({"com.tavrel.onboarding.completedVersion": 1,)", 0, false},
       }) {
    store(json);
    const auto preferences = load();
    EXPECT_EQ(preferences->completedOnboardingVersion(), version) << json;
    EXPECT_EQ(preferences->isQuickDropEnabled(), quickDrop) << json;
    // Reading never writes: a file we could not make sense of stays as it was.
    EXPECT_EQ(contents(defaultsPath()), json);
  }
}

TEST_F(AppPreferencesTest, MissingFileReadsAsDefaultsAndIsNotCreated) {
  const auto preferences = load();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 0);
  EXPECT_FALSE(preferences->isQuickDropEnabled());
  EXPECT_FALSE(std::filesystem::exists(defaultsPath().parent_path()));
}

TEST_F(AppPreferencesTest, SettingPublishesFirstThenWritesAPrivateFileAtomically) {
  store(R"({"com.tavrel.quickDrop.enabled": true, "someone.else": "kept"})");
  const auto preferences = load();
  std::vector<std::string> seen;
  auto subscription = preferences->subscribeCompletedOnboardingVersion([&](const std::int64_t& version) {
    seen.push_back(std::to_string(version) + " with file " + (contents(defaultsPath()).find("completedVersion") != std::string::npos ? "written" : "unwritten"));
  });
  preferences->setCompletedOnboardingVersion(1);
  EXPECT_EQ(seen, (std::vector<std::string>{"0 with file unwritten", "1 with file unwritten"}));

  const auto reread = load();
  EXPECT_EQ(reread->completedOnboardingVersion(), 1);
  EXPECT_TRUE(reread->isQuickDropEnabled());
  EXPECT_EQ(reread->userDefaults().value("someone.else"), nlohmann::json("kept"));
  const auto stored = nlohmann::json::parse(contents(defaultsPath()));
  EXPECT_TRUE(stored.at("com.tavrel.onboarding.completedVersion").is_number_integer());

  preferences->setQuickDropEnabled(false);
  EXPECT_TRUE(nlohmann::json::parse(contents(defaultsPath())).at("com.tavrel.quickDrop.enabled").is_boolean());
  EXPECT_FALSE(load()->isQuickDropEnabled());

  struct stat info {};
  ASSERT_EQ(::stat(defaultsPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Nothing is left beside the file from the writes.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(defaultsPath().parent_path()), {}), 1);
}

TEST_F(AppPreferencesTest, SettingReplacesACorruptFileAndCreatesPrivateFolders) {
  const auto preferences = load();
  preferences->setQuickDropEnabled(true);
  struct stat info {};
  ASSERT_EQ(::stat(defaultsPath().parent_path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  store("{not json");
  const auto fromCorrupt = load();
  EXPECT_FALSE(fromCorrupt->isQuickDropEnabled());
  fromCorrupt->setCompletedOnboardingVersion(1);
  const auto stored = nlohmann::json::parse(contents(defaultsPath()));
  EXPECT_EQ(stored, (nlohmann::json{{"com.tavrel.onboarding.completedVersion", 1}}));
}

std::size_t occurrences(const std::string& text, std::string_view part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
  return count;
}

TEST_F(AppPreferencesTest, AFailedWriteIsLoggedOncePerFileAndReasonAndTheValueHoldsForTheRun) {
  folder.writeFile("config/tavrel", "a file where the folder belongs");
  const auto preferences = load();
  bool published = false;
  auto subscription = preferences->subscribeQuickDropEnabled([&](const bool& enabled) { published = enabled; });
  ::testing::internal::CaptureStderr();
  preferences->setQuickDropEnabled(true);
  preferences->setCompletedOnboardingVersion(1);
  preferences->setQuickDropEnabled(false);
  preferences->setQuickDropEnabled(true);
  // Another reason for the same file is told too.
  std::filesystem::remove(folder.path() / "config" / "tavrel");
  std::filesystem::create_directories(defaultsPath().parent_path());
  std::filesystem::create_symlink("defaults.json", defaultsPath());
  preferences->setCompletedOnboardingVersion(1);
  preferences->setCompletedOnboardingVersion(1);
  const auto log = ::testing::internal::GetCapturedStderr();
  // The path holds the user's home folder and name: private, as every other.
  const std::string path = platform::Logger::privateLoggingEnabled() ? defaultsPath().string() : "<private>";
  EXPECT_EQ(occurrences(log, "Settings could not be saved to " + path +
                                 " (cannot make a file in its folder: Not a directory); changes hold only until Tavrel quits"),
            1u)
      << log;
  if (!platform::Logger::privateLoggingEnabled()) {
    EXPECT_EQ(log.find(folder.path().string()), std::string::npos) << log;
  }
  EXPECT_EQ(occurrences(log, "(the link loops or cannot be read)"), 1u) << log;
  EXPECT_EQ(occurrences(log, "Settings could not be saved"), 2u) << log;
  EXPECT_TRUE(published);
  EXPECT_TRUE(preferences->isQuickDropEnabled());
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);
  EXPECT_FALSE(load()->isQuickDropEnabled());
}

// A value nested `depth` levels deep, under `key`, in a file that is otherwise well formed.
std::string nestedUnder(std::string_view key, std::size_t depth) {
  return "{\"" + std::string(key) + "\": " + std::string(depth, '[') + std::string(depth, ']') + "}";
}

TEST_F(AppPreferencesTest, DeeplyNestedValuesReadAsAMalformedFileAndStartWithDefaults) {
  // Copying the value out of the file used to overflow the stack at every start.
  for (const std::size_t depth : {std::size_t{100'000}, std::size_t{1'000'000}}) {
    store(nestedUnder(AppPreferences::completedOnboardingVersionKey, depth));
    const auto preferences = load();
    EXPECT_EQ(preferences->completedOnboardingVersion(), 0);
    preferences->setCompletedOnboardingVersion(1);
    EXPECT_EQ(nlohmann::json::parse(contents(defaultsPath())),
              (nlohmann::json{{std::string(AppPreferences::completedOnboardingVersionKey), 1}}));
  }
  // As deep as we ever need is kept as it is.
  store(R"({"com.tavrel.quickDrop.enabled": true, "someone.else": )" + std::string(UserDefaults::maximumDepth - 1, '[') +
        std::string(UserDefaults::maximumDepth - 1, ']') + "}");
  EXPECT_TRUE(load()->isQuickDropEnabled());
  EXPECT_TRUE(load()->userDefaults().value("someone.else").has_value());
}

TEST_F(AppPreferencesTest, WritesNeverGrowPastTheFileLimit) {
  // Deep and wide within the limits: indented, every element gets a line of its own and a margin of
  // sixty spaces, a dozen times the limit.
  const std::size_t depth = UserDefaults::maximumDepth - 1;
  std::string wide = std::string(depth - 1, '[') + "[0";
  for (int i = 0; i < 200'000; ++i) wide += ",0";
  wide += std::string(depth, ']');
  store(R"({"someone.else": )" + wide + "}");
  const auto preferences = load();
  preferences->setCompletedOnboardingVersion(1);
  const auto written = contents(defaultsPath());
  EXPECT_LE(written.size(), UserDefaults::maximumFileSize);
  EXPECT_EQ(load()->completedOnboardingVersion(), 1);
  EXPECT_EQ(load()->userDefaults().value("someone.else"), nlohmann::json::parse(wide));

  EXPECT_EQ(UserDefaults::render(nlohmann::json{{"a", 1}}), "{\n  \"a\": 1\n}\n");
  EXPECT_EQ(UserDefaults::render(nlohmann::json{{"a", std::string(UserDefaults::maximumFileSize, 'x')}}), std::nullopt);
}

TEST_F(AppPreferencesTest, WhatIsNotARegularFileReadsAsMalformedAndIsReplacedAtTheNextWrite) {
  const auto replace = [&](const auto& makeInPlace) {
    std::filesystem::remove_all(defaultsPath());
    std::filesystem::create_directories(defaultsPath().parent_path());
    makeInPlace();
  };
  // A link to a file that never ends, a FIFO nobody writes to, a folder: none may hang or abort.
  replace([&] { std::filesystem::create_symlink("/dev/zero", defaultsPath()); });
  auto preferences = load();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 0);
  preferences->setCompletedOnboardingVersion(1);
  EXPECT_FALSE(std::filesystem::is_symlink(defaultsPath()));
  EXPECT_EQ(load()->completedOnboardingVersion(), 1);

  replace([&] { ASSERT_EQ(::mkfifo(defaultsPath().c_str(), 0600), 0); });
  EXPECT_EQ(load()->completedOnboardingVersion(), 0);
  // Nor is a link to one read.
  const auto fifo = folder.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  replace([&] { std::filesystem::create_symlink(fifo, defaultsPath()); });
  EXPECT_EQ(load()->completedOnboardingVersion(), 0);

  replace([&] { std::filesystem::create_directory(defaultsPath()); });
  preferences = load();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 0);
  preferences->setCompletedOnboardingVersion(1);  // cannot replace a folder: the value holds for the run
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);
}

// Dotfile managers keep the settings file elsewhere and leave a link in its place, often a relative
// one, sometimes through a second link.
TEST_F(AppPreferencesTest, ALinkedSettingsFileIsReadThroughAndKeptWhenAValueIsSet) {
  const auto kept = folder.writeFile(
      "dotfiles/tavrel/defaults.json",
      R"({"com.tavrel.onboarding.completedVersion": 1, "com.tavrel.quickDrop.enabled": true, "someone.else": [1, 2]})");
  ::chmod(kept.c_str(), 0644);
  std::filesystem::create_directories(defaultsPath().parent_path());
  std::filesystem::create_symlink("../dotfiles/tavrel/defaults.json", folder.path() / "config" / "current.json");
  std::filesystem::create_symlink("../current.json", defaultsPath());

  const auto preferences = load();
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);
  EXPECT_TRUE(preferences->isQuickDropEnabled());
  EXPECT_EQ(preferences->userDefaults().value("someone.else"), (nlohmann::json{1, 2}));

  preferences->setQuickDropEnabled(false);
  EXPECT_TRUE(std::filesystem::is_symlink(defaultsPath()));
  EXPECT_EQ(std::filesystem::read_symlink(defaultsPath()), "../current.json");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "config" / "current.json"));
  EXPECT_EQ(nlohmann::json::parse(contents(kept)),
            (nlohmann::json{{"com.tavrel.onboarding.completedVersion", 1},
                            {"com.tavrel.quickDrop.enabled", false},
                            {"someone.else", {1, 2}}}));
  // The temporary file lay beside the target and is gone; the file is as readable as it was.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kept.parent_path()), {}), 1);
  struct stat status{};
  ASSERT_EQ(::stat(kept.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
  EXPECT_FALSE(load()->isQuickDropEnabled());
}

// A group of ours other than the one our files are made in, if any: root may give any.
std::optional<::gid_t> anotherGroup() {
  if (::geteuid() == 0) return ::getegid() == 4242 ? 4243 : 4242;
  std::vector<::gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
  groups.resize(static_cast<std::size_t>(std::max(count, 0)));
  for (const auto group : groups) {
    if (group != ::getegid()) return group;
  }
  return std::nullopt;
}

TEST_F(AppPreferencesTest, ALinkedFileSharedWithAGroupKeepsItsGroup) {
  const auto group = anotherGroup();
  if (!group) GTEST_SKIP() << "needs a second group";
  const auto kept = folder.writeFile("dotfiles/defaults.json", "{}");
  ASSERT_EQ(::chown(kept.c_str(), static_cast<::uid_t>(-1), *group), 0);
  ::chmod(kept.c_str(), 0640);
  std::filesystem::create_directories(defaultsPath().parent_path());
  std::filesystem::create_symlink(kept, defaultsPath());
  load()->setCompletedOnboardingVersion(1);
  struct stat status{};
  ASSERT_EQ(::stat(kept.c_str(), &status), 0);
  EXPECT_EQ(status.st_gid, *group);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  EXPECT_EQ(nlohmann::json::parse(contents(kept)),
            (nlohmann::json{{"com.tavrel.onboarding.completedVersion", 1}}));
}

// A user who may not give the group (nobody, of a file in root's group) still saves, once told why,
// and the group's read goes with the group.
TEST_F(AppPreferencesTest, ALinkedFileWhoseGroupCannotBeKeptIsSavedWithoutTheGroupsBitsAndLogged) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to become a user of another group";
  constexpr ::uid_t nobody = 65534;
  constexpr ::gid_t nogroup = 65534;
  for (auto above = folder.path().parent_path(); above != above.parent_path(); above = above.parent_path()) {
    struct stat status{};
    if (::stat(above.c_str(), &status) != 0 || !(status.st_mode & S_IXOTH)) {
      GTEST_SKIP() << above << " is closed to others";
    }
  }
  ::chmod(folder.path().c_str(), 0755);
  const auto shared = folder.makeDirectory("shared");
  ASSERT_EQ(::chown(shared.c_str(), nobody, nogroup), 0);
  const auto kept = folder.writeFile("shared/defaults.json", "{}");
  ASSERT_EQ(::chown(kept.c_str(), nobody, 0), 0);
  ::chmod(kept.c_str(), 0640);
  std::filesystem::create_directories(defaultsPath().parent_path());
  std::filesystem::create_symlink(kept, defaultsPath());

  ::testing::internal::CaptureStderr();
  const ::pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(nobody) != 0) ::_exit(3);
    UserDefaults defaults(defaultsPath());
    const bool saved = defaults.set("first", 1) && defaults.set("second", 2);
    std::fflush(stderr);
    ::_exit(saved ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  const auto log = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << log;
  EXPECT_EQ(nlohmann::json::parse(contents(kept)), (nlohmann::json{{"first", 1}, {"second", 2}}));
  struct stat after{};
  ASSERT_EQ(::stat(kept.c_str(), &after), 0);
  EXPECT_EQ(after.st_gid, nogroup);
  EXPECT_EQ(after.st_mode & 0777, 0600u);
  const std::string path = platform::Logger::privateLoggingEnabled() ? kept.string() : "<private>";
  EXPECT_EQ(occurrences(log, "Settings were saved to " + path +
                                 ", but without the file's group 0 (Operation not permitted)"),
            1u)
      << log;
}

TEST_F(AppPreferencesTest, ALinkToAMissingFileIsKeptAndItsFileMadeOnlyWhereItsFolderExists) {
  std::filesystem::create_directories(defaultsPath().parent_path());
  const auto missing = folder.path() / "unmounted" / "defaults.json";
  std::filesystem::create_symlink(missing, defaultsPath());
  auto preferences = load();
  preferences->setCompletedOnboardingVersion(1);
  EXPECT_EQ(preferences->completedOnboardingVersion(), 1);  // held for the run
  EXPECT_TRUE(std::filesystem::is_symlink(defaultsPath()));
  EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));

  std::filesystem::create_directories(missing.parent_path());
  preferences = load();
  preferences->setCompletedOnboardingVersion(1);
  EXPECT_TRUE(std::filesystem::is_symlink(defaultsPath()));
  EXPECT_EQ(nlohmann::json::parse(contents(missing)), (nlohmann::json{{"com.tavrel.onboarding.completedVersion", 1}}));

  // A link that names itself holds nothing, and is kept too.
  std::filesystem::remove(defaultsPath());
  std::filesystem::create_symlink("defaults.json", defaultsPath());
  preferences = load();
  preferences->setCompletedOnboardingVersion(1);
  EXPECT_TRUE(std::filesystem::is_symlink(defaultsPath()));
}

}  // namespace
}  // namespace tavrel
