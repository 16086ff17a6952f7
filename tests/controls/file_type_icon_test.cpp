#include "controls/file_type_icon.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

using FileTypeIcon::symbolName;

TEST(FileTypeIconTest, OneFileTakesTheSymbolOfItsTypeTrimmedAndInAnyCase) {
  EXPECT_EQ(symbolName({"  IMAGE/PNG \n"}, 1, "a"), "photo");
  EXPECT_EQ(symbolName({"application/json; charset=utf-8"}, 1, "a"), "curlybraces");
  EXPECT_EQ(symbolName({"application/x-7z-compressed"}, 1, "a"), "zipper.page");
  EXPECT_EQ(symbolName({"application/gzip"}, 1, "a.gz"), "zipper.page");
  EXPECT_EQ(symbolName({"application/x-executable"}, 1, "a"), "macwindow");
  EXPECT_EQ(symbolName({"application/zip"}, 1, "a"), "zipper.page");
  EXPECT_EQ(symbolName({"application/pdf"}, 1, "a"), "text.document.fill");
  EXPECT_EQ(symbolName({"audio/mpeg"}, 0, "a"), "beats.headphones");
}

TEST(FileTypeIconTest, AGenericOrMissingTypeFallsBackToTheNamesExtension) {
  EXPECT_EQ(symbolName({"application/octet-stream"}, 1, "notes.txt"), "doc.plaintext");
  EXPECT_EQ(symbolName({"application/octet-stream"}, 1, "notes"), "app.dashed");
  EXPECT_EQ(symbolName({}, 1, "holiday.mp4"), "film");
  EXPECT_EQ(symbolName({""}, 1, "folder/.hidden"), "app.dashed");
  EXPECT_EQ(symbolName({}, 0, ""), "app.dashed");
}

TEST(FileTypeIconTest, SeveralFilesShowAStackOfTheirOneKindOrTheGenericStack) {
  EXPECT_EQ(symbolName({"image/png", "image/jpeg", "image/heic"}, 3, "Photos"), "photo.stack");
  EXPECT_EQ(symbolName({"image/png", "video/mp4"}, 2, "Mixed"), "square.stack.3d.up");
  EXPECT_EQ(symbolName({}, 2, "notes.txt"), "square.stack.3d.up");
  // Several files never look at the title's extension.
  EXPECT_EQ(symbolName({"application/octet-stream", "application/octet-stream"}, 2, "a.txt"),
            "square.stack.3d.up");
  EXPECT_EQ(symbolName({"application/x-executable", "application/vnd.app"}, 2, "a"), "macwindow.on.rectangle");
  EXPECT_EQ(symbolName({"text/plain", "application/pdf"}, 2, "x"), "square.stack.3d.up");
}

}  // namespace
}  // namespace tavrel
