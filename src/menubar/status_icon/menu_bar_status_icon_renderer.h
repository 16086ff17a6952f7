#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "menubar/status_icon/menu_bar_transfer_indicator.h"
#include "ui/color_scheme.h"

class QPainter;

namespace tavrel {

// Draws the status icon: the program's mark, and over its top-right corner a progress ring, the
// turning preparing arc or a badge, standing free in a cut-out of the mark. The panel does not tint
// a tray icon, so everything is drawn in one colour chosen to contrast with the panel; only the
// alpha of what is drawn carries the picture.
class MenuBarStatusIconRenderer {
 public:
  static constexpr int kPointSize = 24;   // the icon is 24 x 24 points
  static constexpr int kFrameCount = 12;  // frames of one turn of the preparing arc

  // `baseImage` is the program's mark at any resolution (only its alpha is used); a null image
  // leaves the mark out.
  explicit MenuBarStatusIconRenderer(QImage baseImage, QColor color = Qt::white);

  // The colour that stands out on the panel: dark on a light desktop, white on a dark one and
  // wherever the desktop does not say (most panels are dark).
  static QColor colorFor(std::optional<ui::ColorScheme> scheme);

  // The program's mark for the status icon: our "MenuBarMark" artwork, or the "shippingbox.fill"
  // symbol where the artwork cannot be loaded; 72 pixels square (18 points at 4x).
  static QImage programMark();

  const QImage& baseImage() const { return baseImage_; }
  const QColor& color() const { return color_; }

  // A new image of 24 x 24 points at `scale` device pixels per point (so 48 x 48 pixels at 2). The
  // frame counts modulo 12; with Reduce Motion every frame is drawn as frame 0. The image carries
  // its accessibility description as the text "Description".
  QImage image(const MenuBarTransferIndicator& indicator, int animationFrame, bool reduceMotion,
               qreal scale = 1) const;

  // The same image at 1x and 2x, for the tray.
  QIcon icon(const MenuBarTransferIndicator& indicator, int animationFrame, bool reduceMotion) const;

  static QString accessibilityDescription(const MenuBarTransferIndicator& indicator);

  // The drawing steps behind `image`, in the icon's point coordinates (origin top left, y down).
  void draw(QPainter& painter, const MenuBarTransferIndicator& indicator, int frame, bool reduceMotion) const;
  void drawProgressRing(QPainter& painter, double fraction, const QRectF& square) const;
  // The named symbol fitted into `square`; a symbol that cannot be loaded draws nothing.
  void drawBadge(QPainter& painter, std::string_view systemName, const QRectF& square) const;

  // The frame actually drawn for a requested one: 0 to 11.
  static int effectiveFrame(int animationFrame, bool reduceMotion);

 private:
  void drawPreparingArc(QPainter& painter, int frame, const QRectF& square) const;
  const QImage& markAt(qreal scale) const;

  struct CachedImage {
    std::size_t kind;  // the indicator's case
    int frame;
    qreal scale;
    QImage image;
  };
  static constexpr std::size_t kCacheLimit = 2 * (kFrameCount + 4);

  QImage baseImage_;
  QColor color_;
  // The mark in our colour, scaled once for the two scales the tray asks for.
  QImage tintedMark_;
  QImage markAt1x_;
  QImage markAt2x_;
  // Images already drawn, by look; the renderer lives on the main thread.
  mutable std::vector<CachedImage> cache_;
};

}  // namespace tavrel
