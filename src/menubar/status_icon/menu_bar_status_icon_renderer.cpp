#include "menubar/status_icon/menu_bar_status_icon_renderer.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <cmath>
#include <utility>

#include "ui/assets.h"
#include "ui/symbols.h"

namespace tavrel {
namespace {

constexpr qreal kSize = MenuBarStatusIconRenderer::kPointSize;
// The mark's square, centred with a 3-point margin.
const QRectF kMarkRect(3, 3, 18, 18);
// The badge's square in the top-right corner, reaching one point beyond the image.
const QRectF kBadgeRect(kSize - 13, -1, 14, 14);
constexpr qreal kCutOutGrowth = 0.8;
constexpr qreal kRingInset = 2.5;
constexpr qreal kTrackWidth = 1.35;
constexpr qreal kTrackOpacity = 0.24;
constexpr qreal kArcWidth = 1.45;
// Below this fraction the ring shows a fixed 9-degree stub, so an upload that has just begun is
// still seen as an upload.
constexpr double kStubThreshold = 0.025;
constexpr qreal kStubEndDegrees = 81;  // from twelve o'clock (90) clockwise to 81
constexpr qreal kPreparingArcDegrees = 115.2;

QImage tinted(const QImage& source, const QColor& color) {
  if (source.isNull()) return {};
  QImage result = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&result);
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(result.rect(), color);
  return result;
}

QImage scaledMark(const QImage& mark, qreal scale) {
  if (mark.isNull()) return {};
  const int pixels = static_cast<int>(std::lround(kMarkRect.width() * scale));
  return mark.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QRectF ringRect(const QRectF& square) {
  return square.adjusted(kRingInset, kRingInset, -kRingInset, -kRingInset);
}

// An arc about the centre of `rect`, starting at `startDegrees` (counter-clockwise from three
// o'clock, as on a clock face seen normally) and running `sweepDegrees` (negative: clockwise).
void strokeArc(QPainter& painter, const QRectF& rect, qreal startDegrees, qreal sweepDegrees,
               const QPen& pen) {
  QPainterPath path;
  path.arcMoveTo(rect, startDegrees);
  path.arcTo(rect, startDegrees, sweepDegrees);
  painter.strokePath(path, pen);
}

QPen arcPen(const QColor& color) {
  QPen pen(color, kArcWidth);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

void drawTrack(QPainter& painter, const QRectF& square, QColor color) {
  color.setAlphaF(color.alphaF() * kTrackOpacity);
  painter.save();
  painter.setPen(QPen(color, kTrackWidth));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(ringRect(square));
  painter.restore();
}

}  // namespace

MenuBarStatusIconRenderer::MenuBarStatusIconRenderer(QImage baseImage, QColor color)
    : baseImage_(std::move(baseImage)),
      color_(color),
      tintedMark_(tinted(baseImage_, color_)),
      markAt1x_(scaledMark(tintedMark_, 1)),
      markAt2x_(scaledMark(tintedMark_, 2)) {}

QColor MenuBarStatusIconRenderer::colorFor(std::optional<ui::ColorScheme> scheme) {
  return scheme == ui::ColorScheme::light ? QColor(Qt::black) : QColor(Qt::white);
}

QImage MenuBarStatusIconRenderer::programMark() {
  const QSize size(72, 72);
  QImage mark = ui::renderAsset("MenuBarMark", size, QColor(Qt::black));
  if (mark.isNull()) mark = ui::renderSymbol("shippingbox.fill", size, Qt::black);
  return mark;
}

int MenuBarStatusIconRenderer::effectiveFrame(int animationFrame, bool reduceMotion) {
  if (reduceMotion) return 0;
  return ((animationFrame % kFrameCount) + kFrameCount) % kFrameCount;
}

QImage MenuBarStatusIconRenderer::image(const MenuBarTransferIndicator& indicator, int animationFrame,
                                        bool reduceMotion, qreal scale) const {
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  // Every indicator but an upload has only a few looks (twelve frames, three badges, the mark
  // alone), so each is drawn once: the turning arc then costs a copy ten times a second instead
  // of a redraw, whose anti-aliased spans Qt would hand to its thread pool at 2x.
  const bool cacheable = !std::holds_alternative<menu_bar_indicator::Uploading>(indicator);
  const int frame = std::holds_alternative<menu_bar_indicator::Preparing>(indicator)
                        ? effectiveFrame(animationFrame, reduceMotion)
                        : 0;
  if (cacheable) {
    for (const auto& cached : cache_) {
      if (cached.kind == indicator.index() && cached.frame == frame && cached.scale == scale)
        return cached.image;
    }
  }
  const int pixels = static_cast<int>(std::ceil(kSize * scale));
  QImage result(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  result.setDevicePixelRatio(scale);
  result.fill(Qt::transparent);
  {
    QPainter painter(&result);
    draw(painter, indicator, frame, false);
  }
  result.setText(QStringLiteral("Description"), accessibilityDescription(indicator));
  if (cacheable) {
    // Two scales of every look fit; a caller cycling through many scales starts over.
    if (cache_.size() >= kCacheLimit) cache_.clear();
    cache_.push_back({indicator.index(), frame, scale, result});
  }
  return result;
}

QIcon MenuBarStatusIconRenderer::icon(const MenuBarTransferIndicator& indicator, int animationFrame,
                                      bool reduceMotion) const {
  QIcon result;
  result.addPixmap(QPixmap::fromImage(image(indicator, animationFrame, reduceMotion, 1)));
  result.addPixmap(QPixmap::fromImage(image(indicator, animationFrame, reduceMotion, 2)));
  return result;
}

const QImage& MenuBarStatusIconRenderer::markAt(qreal scale) const {
  if (scale == 1) return markAt1x_;
  if (scale == 2) return markAt2x_;
  return tintedMark_;
}

void MenuBarStatusIconRenderer::draw(QPainter& painter, const MenuBarTransferIndicator& indicator, int frame,
                                     bool reduceMotion) const {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QImage& mark = markAt(painter.device() ? painter.device()->devicePixelRatioF() : 1);
  if (!mark.isNull()) painter.drawImage(kMarkRect, mark);

  if (std::holds_alternative<menu_bar_indicator::Idle>(indicator)) return;

  // Clear the mark under the badge and a little around it, so the badge stands free.
  painter.save();
  painter.setCompositionMode(QPainter::CompositionMode_Clear);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawEllipse(kBadgeRect.adjusted(-kCutOutGrowth, -kCutOutGrowth, kCutOutGrowth, kCutOutGrowth));
  painter.restore();

  if (const auto* uploading = std::get_if<menu_bar_indicator::Uploading>(&indicator)) {
    drawProgressRing(painter, uploading->percentage / 100.0, kBadgeRect);
  } else if (std::holds_alternative<menu_bar_indicator::Preparing>(indicator)) {
    drawPreparingArc(painter, effectiveFrame(frame, reduceMotion), kBadgeRect);
  } else if (std::holds_alternative<menu_bar_indicator::Ready>(indicator)) {
    drawBadge(painter, "arrow.up.circle.fill", kBadgeRect);
  } else if (std::holds_alternative<menu_bar_indicator::Failed>(indicator)) {
    drawBadge(painter, "exclamationmark.circle.fill", kBadgeRect);
  } else if (std::holds_alternative<menu_bar_indicator::Completed>(indicator)) {
    drawBadge(painter, "checkmark.circle.fill", kBadgeRect);
  }
}

void MenuBarStatusIconRenderer::drawProgressRing(QPainter& painter, double fraction,
                                                 const QRectF& square) const {
  drawTrack(painter, square, color_);
  if (!std::isfinite(fraction)) fraction = 0;
  const double shown = std::min(fraction, 1.0);
  const qreal sweep = fraction >= kStubThreshold ? -360.0 * shown : kStubEndDegrees - 90;
  painter.save();
  strokeArc(painter, ringRect(square), 90, sweep, arcPen(color_));
  painter.restore();
}

void MenuBarStatusIconRenderer::drawPreparingArc(QPainter& painter, int frame, const QRectF& square) const {
  drawTrack(painter, square, color_);
  // Each frame turns the arc a twelfth of a turn clockwise.
  const qreal rotation = frame * (360.0 / kFrameCount);
  painter.save();
  strokeArc(painter, ringRect(square), 90 - rotation, -kPreparingArcDegrees, arcPen(color_));
  painter.restore();
}

void MenuBarStatusIconRenderer::drawBadge(QPainter& painter, std::string_view systemName,
                                          const QRectF& square) const {
  const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1;
  const QSize pixels(static_cast<int>(std::lround(square.width() * scale)),
                     static_cast<int>(std::lround(square.height() * scale)));
  const QImage symbol = ui::renderSymbol(systemName, pixels, color_);
  if (symbol.isNull()) return;
  painter.drawImage(square, symbol);
}

QString MenuBarStatusIconRenderer::accessibilityDescription(const MenuBarTransferIndicator& indicator) {
  struct Describer {
    QString operator()(const menu_bar_indicator::Uploading& uploading) const {
      return QCoreApplication::translate("MenuBarStatusIcon", "Tavrel, uploading, %1 percent")
          .arg(uploading.percentage);
    }
    QString operator()(const menu_bar_indicator::Idle&) const { return QStringLiteral("Tavrel"); }
    QString operator()(const menu_bar_indicator::Preparing&) const {
      return QCoreApplication::translate("MenuBarStatusIcon", "Tavrel, preparing files");
    }
    QString operator()(const menu_bar_indicator::Ready&) const {
      return QCoreApplication::translate("MenuBarStatusIcon", "Tavrel, ready to upload");
    }
    QString operator()(const menu_bar_indicator::Failed&) const {
      return QCoreApplication::translate("MenuBarStatusIcon", "Tavrel, transfer failed");
    }
    QString operator()(const menu_bar_indicator::Completed&) const {
      return QCoreApplication::translate("MenuBarStatusIcon", "Tavrel, transfer complete");
    }
  };
  return std::visit(Describer{}, indicator);
}

}  // namespace tavrel
