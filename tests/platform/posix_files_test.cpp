#include "platform/posix_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "support/temporary_directory.h"

namespace tavrel::platform {
namespace {

TEST(ReadRegularFileTest, ReadsUpToTheLimitAndRefusesALongerFile) {
  testing::TemporaryDirectory folder;
  const auto exact = folder.writeFile("exact", std::string(100, 'x'));
  EXPECT_EQ(readRegularFile(exact, 100, false).value(), std::string(100, 'x'));
  const auto longer = folder.writeFile("longer", std::string(101, 'x'));
  EXPECT_EQ(readRegularFile(longer, 100, false).error(), EFBIG);
  EXPECT_EQ(readRegularFile(folder.path() / "absent", 100, false).error(), ENOENT);
}

TEST(ReadRegularFileTest, RefusesWhatIsNotARegularFileWithoutBlockingOrReadingForever) {
  testing::TemporaryDirectory folder;
  const auto fifo = folder.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Nobody writes to it: a blocking open would never return.
  EXPECT_EQ(readRegularFile(fifo, 100, true).error(), EINVAL);
  EXPECT_EQ(readRegularFile(folder.makeDirectory("folder"), 100, true).error(), EINVAL);

  const auto zero = folder.path() / "zero";
  std::filesystem::create_symlink("/dev/zero", zero);
  EXPECT_EQ(readRegularFile(zero, 100, false).error(), ELOOP);
  EXPECT_EQ(readRegularFile(zero, 100, true).error(), EINVAL);

  const auto link = folder.path() / "link";
  std::filesystem::create_symlink(folder.writeFile("target", "{}"), link);
  EXPECT_EQ(readRegularFile(link, 100, false).error(), ELOOP);
  EXPECT_EQ(readRegularFile(link, 100, true).value(), "{}");
}

}  // namespace
}  // namespace tavrel::platform
