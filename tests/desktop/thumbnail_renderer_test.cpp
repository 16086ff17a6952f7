#include "desktop/thumbnail_renderer.h"

#include <sys/stat.h>

#include <gmock/gmock.h>

#include <QCryptographicHash>
#include <QImage>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <string>

#include "desktop/thumbnail_file.h"
#include "desktop/thumbnail_generator.h"
#include "support/temporary_directory.h"

namespace tavrel::desktop {
namespace {

using platform::ThumbnailImage;
using platform::ThumbnailRequest;
using Image = std::shared_ptr<const ThumbnailImage>;
namespace fs = std::filesystem;

std::array<std::uint8_t, 4> pixelAt(const ThumbnailImage& image, int x, int y) {
  const auto offset = (static_cast<std::size_t>(y) * image.pixelWidth + x) * 4;
  return {image.rgba[offset], image.rgba[offset + 1], image.rgba[offset + 2], image.rgba[offset + 3]};
}

std::uint32_t crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (const char byte : bytes) {
    crc ^= static_cast<std::uint8_t>(byte);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

std::string bigEndian(std::uint32_t value) {
  return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// A well-formed PNG header declaring 60000 by 60000 pixels (14 GiB decoded), then an empty data chunk.
std::string hugeDeclaredPng() {
  const std::string header = std::string("IHDR") + bigEndian(60000) + bigEndian(60000) + std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + header + bigEndian(crc32(header)) + bigEndian(0) +
         "IDAT" + bigEndian(crc32("IDAT")) + bigEndian(0) + "IEND" + bigEndian(crc32("IEND"));
}

// The files every case uses: a good image and video, and the ones that must yield nothing.
class ThumbnailFiles {
 public:
  ThumbnailFiles() {
    QImage wide(400, 200, QImage::Format_ARGB32);
    wide.fill(QColor(255, 0, 0, 128));
    wide.save(QString::fromStdString((directory.path() / "wide.png").string()), "PNG");
    QImage small(20, 10, QImage::Format_RGB32);
    small.fill(Qt::green);
    small.save(QString::fromStdString((directory.path() / "small.png").string()), "PNG");
    // One second of plain blue, 4:3.
    const std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i color=c=blue:s=320x240:d=1 "
                                "-pix_fmt yuv420p '" + (directory.path() / "clip.mp4").string() + "'";
    videoMade = std::system(command.c_str()) == 0;

    fs::create_symlink(directory.path() / "wide.png", directory.path() / "link.png");
    ::mkfifo((directory.path() / "pipe.png").c_str(), 0600);
    directory.makeDirectory("folder.png");
    directory.writeFile("huge.png", hugeDeclaredPng());
    directory.writeFile("broken.png", "\x89PNG\r\n\x1a\nthis is not an image");
    directory.writeFile("broken.mp4", std::string(4096, 'x'));
    directory.writeFile("notes.txt", "plain words");
  }

  fs::path operator/(const char* name) const { return directory.path() / name; }

  testing::TemporaryDirectory directory;
  bool videoMade = false;
};

Image render(const ThumbnailRenderer& renderer, const fs::path& file, double side = 90, double scale = 2) {
  return renderer.render(ThumbnailRequest{file, side, side, scale}, {});
}

// Each of these yields nothing, at once: a FIFO would hold a worker for good if it were opened
// for reading, and the huge image would need 14 GiB if it were decoded.
const char* const refusedFiles[] = {"pipe.png", "folder.png", "huge.png", "broken.png", "broken.mp4",
                                    "link.png", "missing.png", "notes.txt"};

class ThumbnailRendererTest : public ::testing::Test {
 protected:
  ThumbnailFiles files;
  ThumbnailRenderer renderer{ThumbnailRenderer::Options{.desktopService = false, .localDecoders = true}};
};

TEST_F(ThumbnailRendererTest, ImageIsFittedToTheRequestedPixelsInStraightRgba) {
  const auto wide = render(renderer, files / "wide.png");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->pixelWidth, 180);
  EXPECT_EQ(wide->pixelHeight, 90);
  EXPECT_EQ(wide->rgba.size(), 180u * 90u * 4u);
  const auto [red, green, blue, alpha] = pixelAt(*wide, 90, 45);
  EXPECT_GE(red, 250);  // not premultiplied: half-transparent red stays full red
  EXPECT_EQ(green, 0);
  EXPECT_EQ(blue, 0);
  EXPECT_NEAR(alpha, 128, 2);

  const auto small = render(renderer, files / "small.png");  // never enlarged
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->pixelWidth, 20);
  EXPECT_EQ(small->pixelHeight, 10);

  const auto oneX = render(renderer, files / "wide.png", 45.5, 1);  // 45.5 points round up
  ASSERT_NE(oneX, nullptr);
  EXPECT_EQ(oneX->pixelWidth, 46);
  EXPECT_EQ(oneX->pixelHeight, 23);
}

TEST_F(ThumbnailRendererTest, VideoYieldsAFrame) {
  ASSERT_TRUE(files.videoMade) << "ffmpeg could not make the test video";
  const auto frame = render(renderer, files / "clip.mp4", 90, 1);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->pixelWidth, 90);
  EXPECT_EQ(frame->pixelHeight, 68);
  const auto [red, green, blue, alpha] = pixelAt(*frame, 45, 34);
  EXPECT_LT(red, 40);
  EXPECT_LT(green, 40);
  EXPECT_GT(blue, 200);
  EXPECT_EQ(alpha, 255);
}

TEST_F(ThumbnailRendererTest, UnsafeCorruptOrNonMediaFilesAndEmptyRequestsYieldNothing) {
  for (const char* name : refusedFiles) EXPECT_EQ(render(renderer, files / name), nullptr) << name;
  EXPECT_EQ(render(renderer, files / "wide.png", 0), nullptr);
  EXPECT_EQ(render(renderer, files / "wide.png", 90, std::nan("")), nullptr);
}

TEST_F(ThumbnailRendererTest, StoppedRequestYieldsNothing) {
  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(renderer.render(ThumbnailRequest{files / "wide.png", 90, 90, 2}, stop.get_token()), nullptr);
}

TEST(ThumbnailFileTest, DecodeBoundsAreSixtyFourMegapixelsAndThirtyTwoThousandPixelsASide) {
  EXPECT_TRUE(withinDecodeBounds(QSize(8192, 8192)));
  EXPECT_FALSE(withinDecodeBounds(QSize(8193, 8192)));
  EXPECT_TRUE(withinDecodeBounds(QSize(32768, 2048)));
  EXPECT_FALSE(withinDecodeBounds(QSize(32769, 1)));
  EXPECT_FALSE(withinDecodeBounds(QSize(0, 10)));

  // The huge test image is refused by its declared size, not because its header is unreadable.
  ThumbnailFiles files;
  const auto huge = ThumbnailSourceFile::open(files / "huge.png");
  ASSERT_TRUE(huge);
  EXPECT_EQ(declaredImageSize(*huge), QSize(60000, 60000));
}

// Runs against the desktop's real thumbnail service. The wrapper script starts one on a private
// bus with a private cache and sets TAVREL_REQUIRE_THUMBNAIL_SERVICE, so CI never skips it;
// elsewhere it skips when the session has none. Requests go through the generator, so the bus is
// used from its worker threads as in the program.
class ThumbnailServiceIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ThumbnailService().available()) {
      if (std::getenv("TAVREL_REQUIRE_THUMBNAIL_SERVICE")) FAIL() << "the thumbnail service is not reachable";
      GTEST_SKIP() << "no thumbnail service on the session bus";
    }
  }

  static Image generate(ThumbnailRenderer::Options options, const fs::path& file, double side, double scale) {
    auto renderer = std::make_shared<ThumbnailRenderer>(options);
    ThumbnailGenerator generator(
        [renderer](const ThumbnailRequest& request, std::stop_token stop) { return renderer->render(request, stop); });
    std::promise<Image> answer;
    generator.generate(std::make_shared<const ThumbnailRequest>(ThumbnailRequest{file, side, side, scale}),
                       [&answer](Image image) { answer.set_value(std::move(image)); });
    return answer.get_future().get();
  }

  static fs::path sharedCacheFile(const fs::path& file, const char* flavor) {
    const auto digest = QCryptographicHash::hash(ThumbnailService::fileUri(file).toUtf8(), QCryptographicHash::Md5).toHex();
    const char* cache = std::getenv("XDG_CACHE_HOME");
    return fs::path(cache ? cache : "") / "thumbnails" / flavor / (digest.toStdString() + ".png");
  }

  ThumbnailFiles files;
};

TEST_F(ThumbnailServiceIntegrationTest, ImageComesFromTheServiceAndVideoFrameFromOurOwnDecoder) {
  const auto image = generate({.desktopService = true, .localDecoders = false}, files / "wide.png", 90, 1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth, 90);
  EXPECT_EQ(image->pixelHeight, 45);
  EXPECT_TRUE(fs::is_regular_file(sharedCacheFile(files / "wide.png", "normal")));

  ASSERT_TRUE(files.videoMade) << "ffmpeg could not make the test video";
  EXPECT_EQ(generate({.desktopService = true, .localDecoders = false}, files / "clip.mp4", 90, 1), nullptr);
  const auto frame = generate(ThumbnailRenderer::Options{}, files / "clip.mp4", 90, 2);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->pixelWidth, 180);
  // Blue to the edge: no film strip drawn around the frame.
  const auto [red, green, blue, alpha] = pixelAt(*frame, 1, frame->pixelHeight / 2);
  EXPECT_LT(red, 40);
  EXPECT_GT(blue, 200);
}

TEST_F(ThumbnailServiceIntegrationTest, UnsafeCorruptOrNonMediaFilesYieldNothing) {
  for (const char* name : refusedFiles) {
    EXPECT_EQ(generate(ThumbnailRenderer::Options{}, files / name, 90, 2), nullptr) << name;
  }
  EXPECT_FALSE(fs::exists(sharedCacheFile(files / "huge.png", "large")));  // never handed to the service
}

}  // namespace
}  // namespace tavrel::desktop
