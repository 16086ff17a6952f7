// The user defaults file as the program finds it at start-up: read and turned into preferences, then
// written back. Whatever it holds, reading never fails or overflows, and what is written stays within
// the file's limit and reads back as the same values.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/app_preferences.h"
#include "app/user_defaults.h"
#include "fuzz_target.h"

using namespace tavrel;

namespace {

// One file for the whole run, in memory where the system offers it.
const std::filesystem::path& scratchFile() {
  static const std::filesystem::path path = [] {
    const std::filesystem::path folder = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    return folder / ("tavrel-fuzz-defaults-" + std::to_string(::getpid()) + ".json");
  }();
  static const bool removedAtExit = std::atexit([] { std::filesystem::remove(path); }) == 0;
  (void)removedAtExit;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  {
    std::ofstream file(scratchFile(), std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const AppPreferences preferences(std::make_shared<UserDefaults>(scratchFile()));
  FUZZ_CHECK(preferences.completedOnboardingVersion() >= 0);

  auto values = UserDefaults::parse(text);
  FUZZ_CHECK(values.is_object());
  values[std::string(AppPreferences::completedOnboardingVersionKey)] = 1;
  const auto written = UserDefaults::render(values);
  FUZZ_CHECK(written.has_value() || text.size() > UserDefaults::maximumFileSize / 2);
  if (written) {
    FUZZ_CHECK(written->size() <= UserDefaults::maximumFileSize);
    FUZZ_CHECK(UserDefaults::parse(*written) == values);
  }
  return 0;
}
