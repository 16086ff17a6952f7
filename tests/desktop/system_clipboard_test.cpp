#include "desktop/system_clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tavrel {
namespace {

TEST(SystemClipboardTest, WritingALinkReplacesEveryFormatHeldBefore) {
  auto* data = new QMimeData;
  data->setHtml(QStringLiteral("<b>old</b>"));
  data->setText(QStringLiteral("old"));
  data->setData(QStringLiteral("application/x-old"), "old");
  QGuiApplication::clipboard()->setMimeData(data);

  SystemClipboard().write("https://app.example.com/dl/abc");
  const auto* now = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->text(), "https://app.example.com/dl/abc");
  EXPECT_FALSE(now->hasHtml());
  EXPECT_FALSE(now->hasFormat(QStringLiteral("application/x-old")));
}

}  // namespace
}  // namespace tavrel
