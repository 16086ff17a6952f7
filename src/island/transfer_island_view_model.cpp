#include "island/transfer_island_view_model.h"

#include <QCoreApplication>
#include <filesystem>
#include <optional>
#include <utility>

#include "island/island_texts.h"
#include "menubar/popover_texts.h"
#include "ui/file_icon_images.h"

namespace tavrel {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

IslandContent islandContent(const TransferPhase& phase, const AuthenticationState& authentication,
                            IslandPresentation presentation) {
  if (!canInitiateTransfer(authentication)) return IslandContent::authentication;
  const bool expanded = presentation == IslandPresentation::expanded;
  if (reviewState(phase)) return expanded ? IslandContent::review : IslandContent::compactReview;
  if (activeUpload(phase)) return expanded ? IslandContent::progress : IslandContent::compactUpload;
  if (completedTransfer(phase)) return expanded ? IslandContent::completion : IslandContent::compactCompletion;
  if (isChoosing(phase) && expanded) return IslandContent::chooser;
  return IslandContent::compactIdle;
}

const char* islandContentName(IslandContent content) {
  switch (content) {
    case IslandContent::authentication: return "authentication";
    case IslandContent::compactIdle: return "compactIdle";
    case IslandContent::compactReview: return "compactReview";
    case IslandContent::compactUpload: return "compactUpload";
    case IslandContent::compactCompletion: return "compactCompletion";
    case IslandContent::chooser: return "chooser";
    case IslandContent::review: return "review";
    case IslandContent::progress: return "progress";
    case IslandContent::completion: return "completion";
  }
  return "compactIdle";
}

TransferIslandViewModel::TransferIslandViewModel(TransferStore& store, NotchLayoutModel& layout,
                                                 QuickDropPresentationModel& presentation,
                                                 AuthenticationStore& authenticationStore,
                                                 std::function<void()> onCollapse, QObject* parent)
    : QObject(parent),
      store_(store),
      layout_(layout),
      presentation_(presentation),
      authenticationStore_(authenticationStore),
      onCollapse_(std::move(onCollapse)) {
  storeSubscription_ = store_.subscribe([this](const TransferFeatureState&) { emit changed(); });
  authenticationSubscription_ = authenticationStore_.subscribe([this](const AuthenticationState&) { emit changed(); });
  connect(&layout_, &NotchLayoutModel::geometryChanged, this, &TransferIslandViewModel::changed);
  connect(&presentation_, &QuickDropPresentationModel::islandChanged, this, &TransferIslandViewModel::changed);
  connect(&presentation_, &QuickDropPresentationModel::isDropTargetedChanged, this, &TransferIslandViewModel::changed);
}

TransferIslandViewModel::~TransferIslandViewModel() = default;

IslandContent TransferIslandViewModel::islandContentValue() const {
  return islandContent(store_.state().phase, authenticationStore_.state(), presentation_.island());
}

bool TransferIslandViewModel::isExpanded() const {
  return authenticationStore_.canInitiateTransfer() && presentation_.isExpanded();
}

QSizeF TransferIslandViewModel::islandSize() const {
  return layout_.islandSize(store_.state(), presentation_.island(), authenticationStore_.canInitiateTransfer());
}

QString TransferIslandViewModel::closeLabel() const {
  switch (islandContentValue()) {
    case IslandContent::chooser:
      return QCoreApplication::translate("Island", "Close chooser");
    case IslandContent::review:
      return QCoreApplication::translate("Island", "Cancel selection");
    case IslandContent::progress:
      return QCoreApplication::translate("Island", "Collapse upload");
    case IslandContent::completion:
      return QCoreApplication::translate("Island", "Collapse completed transfer");
    default: return {};
  }
}

QString TransferIslandViewModel::phaseName() const {
  const auto& phase = store_.state().phase;
  if (reviewState(phase)) return QStringLiteral("reviewing");
  if (activeUpload(phase)) return QStringLiteral("uploading");
  if (completedTransfer(phase)) return QStringLiteral("completed");
  if (isChoosing(phase)) return QStringLiteral("choosing");
  return QStringLiteral("idle");
}

QVariantMap TransferIslandViewModel::authentication() const {
  const auto status = islandAuthenticationStatus(authenticationStore_.state());
  return {{"symbol", qs(status.symbol)},
          {"showsProgress", status.showsProgress},
          {"text", qs(status.text)},
          {"accessibilityLabel", qs(status.accessibilityLabel)}};
}

QVariantMap TransferIslandViewModel::compactReview() const {
  const auto* review = reviewState(store_.state().phase);
  if (!review) return {};
  const auto status = compactReviewStatus(*review);
  const char* icon = status.icon == CompactReviewStatus::Icon::progress  ? "progress"
                     : status.icon == CompactReviewStatus::Icon::warning ? "warning"
                                                                          : "ready";
  return {{"icon", QString::fromLatin1(icon)}, {"text", qs(status.text)}};
}

QVariantMap TransferIslandViewModel::upload() const {
  const auto* active = activeUpload(store_.state().phase);
  if (!active) return {};
  const auto& progress = active->progress;
  const auto* file = currentUploadFile(progress);
  // Looked up by its pattern, never by its filled text: "%1 of %2" would match any text with "of".
  const auto fileCount =
      progress.currentFileIndex
          ? std::optional(QCoreApplication::translate("Core", UploadProgressSnapshot::fileCountPattern)
                              .arg(QString::number(*progress.currentFileIndex + 1),
                                   QString::number(progress.preparedTransfer->files.size())))
          : std::nullopt;
  const auto percent = islandUploadPercent(progress.progress);
  const auto transferred = qs(formatFileSize(progress.bytesUploaded));
  const auto total = qs(formatFileSize(progress.preparedTransfer->totalBytes()));
  const auto timeLeft = qs(uploadTimeLeftText(progress));
  const auto speed = qs(formatFileSize(progress.bytesPerSecond)) + QStringLiteral("/s");
  const auto fileName = file ? qs(std::filesystem::path(file->sourceURL).filename().string()) : QString();
  return {
      {"progress", progress.progress},
      {"fraction", clampedUploadFraction(progress.progress)},
      {"percent", percent},
      {"percentText", QString::number(percent) + QLatin1Char('%')},
      {"title", qs(progress.preparedTransfer->title)},
      {"hasCurrentFile", file != nullptr},
      {"currentFileName", fileName},
      {"fileCountText", fileCount.value_or(QString())},
      {"currentFileAccessibilityLabel", QCoreApplication::translate("Island", "Currently uploading %1, %2")
                                            .arg(fileName, fileCount.value_or(QString()))},
      {"transferredText", transferred},
      {"totalText", total},
      {"timeLeftText", timeLeft},
      {"speedText", speed},
      {"transferredAccessibility",
       QCoreApplication::translate("Island", "Transferred, %1 / %2").arg(transferred, total)},
      {"showsAbort", clampedUploadFraction(progress.progress) < 1},
  };
}

QVariantMap TransferIslandViewModel::review() const {
  const auto* review = reviewState(store_.state().phase);
  if (!review) return {};
  QVariantList items;
  for (const auto& item : review->selection.items) {
    items.push_back(QVariantMap{
        {"url", qs(item.url.string())},
        {"displayName", qs(item.displayName)},
        {"isFolder", item.kind == TransferItemKind::folder},
        {"isVideo", item.previewKind == TransferPreviewKind::video},
        {"wantsThumbnail", item.previewKind != TransferPreviewKind::none},
        {"iconSource", ui::FileIconImageProvider::idForFile(qs(item.url.string()),
                                                            item.kind == TransferItemKind::folder)},
        {"accessibilityLabel", qs(itemCardAccessibilityLabel(item))},
        // Where the card gets its thumbnail loader.
        {"island", QVariant::fromValue(const_cast<TransferIslandViewModel*>(this))},
    });
  }
  const auto problem = reviewProblemMessage(*review);
  const bool retry = review->hasRetryPreparedTransfer();
  return {
      {"displayName", qs(reviewDisplayName(*review))},
      {"problemMessage", problem ? qs(*problem) : QString()},
      {"sizeText", qs(reviewSizeText(*review))},
      {"summaryText", qs(reviewSummaryText(*review))},
      {"items", items},
      {"clearTitle", retry ? QCoreApplication::translate("Island", "Cancel Transfer")
                           : QCoreApplication::translate("Island", "Clear All")},
      {"startTitle", retry ? QCoreApplication::translate("Island", "Retry Transfer")
                           : QCoreApplication::translate("Island", "Start Transfer")},
      {"startEnabled", review->displayedPreparedTransfer().has_value()},
      {"startHint", qs(reviewStartHint(*review))},
  };
}

QVariantMap TransferIslandViewModel::completion() const {
  const auto* completed = completedTransfer(store_.state().phase);
  if (!completed) return {};
  const auto& prepared = completed->preparedTransfer;
  const bool copied = store_.state().presentation.linkFeedback == LinkFeedback::copied;
  const auto title = qs(prepared.title);
  QString preview;
  if (prepared.defaults.filePreviewEnabled) {
    //: The value beside "Preview" on a sent transfer: recipients see its files previewed.
    preview = QCoreApplication::translate("Island", "On");
  } else {
    //: The value beside "Preview" on a sent transfer: recipients see no previews.
    preview = QCoreApplication::translate("Island", "Off");
  }
  return {
      {"title", title},
      {"accessibilityLabel",
       QCoreApplication::translate("Island", "Transfer completed, %1, ready to share").arg(title)},
      {"copied", copied},
      //: The Copy Link button's label for two seconds after the link was copied.
      {"copyText", copied ? QCoreApplication::translate("Island", " Copied ")
                          : QCoreApplication::translate("Island", "Copy Link")},
      {"copySymbol", copied ? QStringLiteral("checkmark") : QStringLiteral("square.on.square")},
      {"filesText", QString::number(prepared.files.size())},
      {"totalSizeText", qs(formatFileSize(prepared.totalBytes()))},
      {"expiresText", qs(expiryText(prepared.defaults.expiryDays))},
      {"previewText", preview},
  };
}

void TransferIslandViewModel::chooseFiles() { store_.send(transfer_action::ChooseFiles{}); }
void TransferIslandViewModel::chooseFolder() { store_.send(transfer_action::ChooseFolder{}); }
void TransferIslandViewModel::openSettings() { store_.send(transfer_action::ViewTransferSettings{}); }

void TransferIslandViewModel::close() {
  // Closing the review drops the selection; every other page only folds the island away.
  if (islandContentValue() == IslandContent::review) {
    store_.send(transfer_action::CancelSelection{});
  } else if (onCollapse_) {
    onCollapse_();
  }
}

void TransferIslandViewModel::startTransfer() { store_.send(transfer_action::StartTransfer{}); }
void TransferIslandViewModel::clearSelection() { store_.send(transfer_action::ClearSelection{}); }
void TransferIslandViewModel::abortUpload() {
  store_.send(transfer_action::AbortUpload{TransferAbortDestination::review});
}
void TransferIslandViewModel::copyLink() { store_.send(transfer_action::CopyLink{}); }
void TransferIslandViewModel::viewTransfer() { store_.send(transfer_action::ViewTransfer{}); }
void TransferIslandViewModel::dismissCompletedTransfer() { store_.send(transfer_action::DismissCompletedTransfer{}); }
void TransferIslandViewModel::startNewTransfer() { store_.send(transfer_action::StartNewTransfer{}); }

int TransferIslandViewModel::carouselLastScrollIndex(int itemCount, double carouselWidth) const {
  return tavrel::carouselLastScrollIndex(itemCount, carouselWidth);
}

void TransferIslandViewModel::setThumbnailGenerator(platform::MainQueue& mainQueue,
                                                    std::shared_ptr<platform::ThumbnailGenerating> generator) {
  thumbnailQueue_ = &mainQueue;
  thumbnailGenerator_ = std::move(generator);
}

std::unique_ptr<MediaThumbnailLoader> TransferIslandViewModel::makeThumbnailLoader() const {
  if (!thumbnailQueue_ || !thumbnailGenerator_) return nullptr;
  return std::make_unique<MediaThumbnailLoader>(*thumbnailQueue_, thumbnailGenerator_);
}

}  // namespace tavrel
