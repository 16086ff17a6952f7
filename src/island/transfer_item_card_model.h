#pragma once

#include <QObject>
#include <QPointer>
#include <QQmlParserStatus>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>
#include <memory>

#include "island/transfer_island_view_model.h"
#include "platform/observable.h"
#include "transfer/media_thumbnail_loader.h"
#include "ui/thumbnail_images.h"

namespace tavrel {

// One review card's thumbnail. The card owns its loader for as long as it exists: it asks once the
// card is complete (on screen) and again when the display scale changes, and cancels a request
// still running when the card goes away. Until an image arrives `thumbnailSource` is empty and the
// card shows the file's icon.
//
// IMPORTANT: Thread-safety. Main thread only.
class TransferItemCardModel : public QObject, public QQmlParserStatus {
  Q_OBJECT
  Q_INTERFACES(QQmlParserStatus)
  QML_ELEMENT
  Q_PROPERTY(tavrel::TransferIslandViewModel* island READ island WRITE setIsland NOTIFY requestChanged)
  Q_PROPERTY(QString url READ url WRITE setUrl NOTIFY requestChanged)
  Q_PROPERTY(bool wantsThumbnail READ wantsThumbnail WRITE setWantsThumbnail NOTIFY requestChanged)
  Q_PROPERTY(qreal displayScale READ displayScale WRITE setDisplayScale NOTIFY requestChanged)
  Q_PROPERTY(bool hasThumbnail READ hasThumbnail NOTIFY thumbnailChanged)
  Q_PROPERTY(QUrl thumbnailSource READ thumbnailSource NOTIFY thumbnailChanged)

 public:
  // The size cards ask for, in points.
  static constexpr ThumbnailSize cardSize{90, 90};
  static constexpr double cornerRadius = 6;

  explicit TransferItemCardModel(QObject* parent = nullptr);
  ~TransferItemCardModel() override;

  TransferIslandViewModel* island() const { return island_; }
  void setIsland(TransferIslandViewModel* island);
  QString url() const { return url_; }
  void setUrl(const QString& url);
  bool wantsThumbnail() const { return wantsThumbnail_; }
  void setWantsThumbnail(bool wants);
  qreal displayScale() const { return displayScale_; }
  void setDisplayScale(qreal scale);
  bool hasThumbnail() const { return !thumbnail_.isNull(); }
  QUrl thumbnailSource() const { return thumbnail_.source(); }

  void classBegin() override {}
  void componentComplete() override;

 signals:
  void requestChanged();
  void thumbnailChanged();

 private:
  // Sets a field the request depends on and asks again when it changed.
  template <typename Field, typename Value>
  void change(Field& field, const Value& value);
  void requestThumbnail();
  void showImage(const MediaThumbnailLoader::Image& image);

  QPointer<TransferIslandViewModel> island_;
  QString url_;
  bool wantsThumbnail_ = false;
  qreal displayScale_ = 1;
  bool complete_ = false;
  std::unique_ptr<MediaThumbnailLoader> thumbnailLoader_;
  platform::Subscription imageSubscription_;
  ui::PublishedThumbnail thumbnail_;
};

}  // namespace tavrel
