#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/content_types.h"
#include "support/temporary_directory.h"

using namespace tavrel::platform;
using namespace std::string_view_literals;

TEST(ContentTypesTest, FileNamesGetTheDatabaseTypeIncludingWholeNameGlobs) {
  EXPECT_EQ(contentTypeForFileName("report.pdf"), "application/pdf");
  EXPECT_EQ(contentTypeForFileName("photo.JPG"), "image/jpeg");
  // A whole-name rule beats the extension's type, which an extension table would get wrong.
  EXPECT_EQ(contentTypeForFileName("archive.tar.gz"), "application/x-compressed-tar");
  EXPECT_EQ(contentTypeForFileName("notes.zzqx"), std::nullopt);
  EXPECT_EQ(contentTypeForFileName(""), std::nullopt);
}

TEST(ContentTypesTest, MimeTypeFallsBackFromNameToExtensionToOctetStream) {
  EXPECT_EQ(mimeTypeForFileName("clip.mov"), "video/quicktime");
  EXPECT_EQ(mimeTypeForFileName("notes.zzqx"), "application/octet-stream");
  EXPECT_EQ(mimeTypeForFileName("zzqx-no-extension"), "application/octet-stream");
  EXPECT_EQ(contentTypeForPathExtension("pdf"), "application/pdf");
  EXPECT_EQ(contentTypeForPathExtension("PDF"), "application/pdf");
  EXPECT_EQ(contentTypeForPathExtension(""), std::nullopt);
  EXPECT_EQ(preferredMimeType("image/png"), "image/png");
  EXPECT_EQ(preferredMimeType(""), std::nullopt);
}

TEST(ContentTypesTest, ImageAndMovieConformanceIncludesSubtypes) {
  EXPECT_TRUE(conformsToImage("image/jpeg"));
  EXPECT_TRUE(conformsToImage("image/svg+xml"));
  EXPECT_FALSE(conformsToImage("video/mp4"));
  EXPECT_TRUE(conformsToMovie("video/quicktime"));
  EXPECT_FALSE(conformsToMovie("application/pdf"));
  EXPECT_FALSE(conformsToImage(""));
  EXPECT_FALSE(conformsToMovie(""));
}

TEST(ContentTypesTest, PathExtensionIgnoresLeadingAndTrailingDots) {
  EXPECT_EQ(pathExtension("a.tar.gz"sv), "gz");
  EXPECT_EQ(pathExtension(".DS_Store"sv), "");
  EXPECT_EQ(pathExtension("name."sv), "");
  EXPECT_EQ(pathExtension("plain"sv), "");
}

TEST(ContentTypesTest, ItemsOnDiskAreJudgedByKindThenName) {
  tavrel::testing::TemporaryDirectory directory;
  const auto folder = directory.makeDirectory("Photos.jpg");
  const auto file = directory.writeFile("still.png", "not really a png");
  EXPECT_EQ(contentTypeOfItem(folder), "inode/directory");
  EXPECT_EQ(contentTypeOfItem(file), "image/png");
  EXPECT_EQ(contentTypeOfItem(directory.path() / "missing.png"), std::nullopt);
}

TEST(ContentTypesTest, AnswersAreTheSameFromManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        if (mimeTypeForFileName("a" + std::to_string(i) + ".png") != "image/png") ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}
