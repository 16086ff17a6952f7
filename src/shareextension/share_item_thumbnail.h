#pragma once

#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QString>
#include <memory>
#include <qqmlintegration.h>

#include "platform/observable.h"
#include "shareextension/core/share_item_thumbnail_loader.h"
#include "shareextension/share_sheet_view_model.h"

namespace tavrel {

// The picture at the front of one row: the file's thumbnail, filled into a rounded 40-point square,
// once there is one; until then (and for every file that is not an image) the icon theme's icon for
// its type, 34 points, centred.
//
// The row's loader lives as long as this item: it asks when the item is complete (the row is shown)
// and again when the display scale changes, and cancels when the item goes away (the row scrolled
// out of the list or the list changed).
//
// IMPORTANT: Thread-safety. Main thread only.
class ShareItemThumbnail : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(tavrel::ShareSheetViewModel* sheet READ sheet WRITE setSheet NOTIFY sheetChanged)
  Q_PROPERTY(QString filePath READ filePath WRITE setFilePath NOTIFY filePathChanged)
  Q_PROPERTY(QString iconName READ iconName WRITE setIconName NOTIFY iconNameChanged)
  Q_PROPERTY(QString genericIconName READ genericIconName WRITE setGenericIconName NOTIFY iconNameChanged)
  Q_PROPERTY(bool wantsThumbnail READ wantsThumbnail WRITE setWantsThumbnail NOTIFY wantsThumbnailChanged)
  Q_PROPERTY(qreal displayScale READ displayScale WRITE setDisplayScale NOTIFY displayScaleChanged)
  Q_PROPERTY(bool hasThumbnail READ hasThumbnail NOTIFY hasThumbnailChanged)

 public:
  explicit ShareItemThumbnail(QQuickItem* parent = nullptr);

  // File icons come from the desktop's icon theme; where the platform names none (or only the
  // bare base theme), from Adwaita. Call once the application object exists.
  static void prepareIconTheme();
  ~ShareItemThumbnail() override;

  ShareSheetViewModel* sheet() const { return sheet_; }
  void setSheet(ShareSheetViewModel* sheet);
  QString filePath() const { return filePath_; }
  void setFilePath(const QString& path);
  QString iconName() const { return iconName_; }
  void setIconName(const QString& name);
  QString genericIconName() const { return genericIconName_; }
  void setGenericIconName(const QString& name);
  bool wantsThumbnail() const { return wantsThumbnail_; }
  void setWantsThumbnail(bool wants);
  qreal displayScale() const { return displayScale_; }
  void setDisplayScale(qreal scale);
  bool hasThumbnail() const { return !thumbnail_.isNull(); }

  void paint(QPainter* painter) override;

 signals:
  void sheetChanged();
  void filePathChanged();
  void iconNameChanged();
  void wantsThumbnailChanged();
  void displayScaleChanged();
  void hasThumbnailChanged();

 protected:
  void componentComplete() override;

 private:
  void requestThumbnail();
  void showImage(const ShareItemThumbnailLoader::Image& image);

  QPointer<ShareSheetViewModel> sheet_;
  QString filePath_;
  QString iconName_;
  QString genericIconName_;
  bool wantsThumbnail_ = false;
  qreal displayScale_ = 1;
  std::unique_ptr<ShareItemThumbnailLoader> loader_;
  platform::Subscription imageSubscription_;
  QImage thumbnail_;
};

}  // namespace tavrel
