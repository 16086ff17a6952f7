#include "island/island_texts.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "transfer/formatting.h"
#include "ui/translations.h"

namespace tavrel {
int islandUploadPercent(double progress) {
  if (!(progress > 0)) return 0;  // also a NaN
  return std::clamp(static_cast<int>(std::floor(std::min(progress, 1.0) * 100)), 0, 100);
}

double clampedUploadFraction(double progress) {
  if (!(progress > 0)) return 0;
  return std::min(progress, 1.0);
}

std::string uploadTimeLeftText(const UploadProgressSnapshot& progress) {
  if (progress.bytesPerSecond < 1) {
    return QCoreApplication::translate("Island", "Calculating...").toStdString();
  }
  const auto remaining = std::max<std::int64_t>(progress.preparedTransfer->totalBytes() - progress.bytesUploaded, 0);
  return formatDuration(static_cast<double>(remaining) / static_cast<double>(progress.bytesPerSecond), false);
}

const TransferFile* currentUploadFile(const UploadProgressSnapshot& progress) {
  if (!progress.currentFileIndex) return nullptr;
  const int index = *progress.currentFileIndex;
  if (index < 0 || static_cast<std::size_t>(index) >= progress.preparedTransfer->files.size()) return nullptr;
  return &progress.preparedTransfer->files[static_cast<std::size_t>(index)];
}

std::string expiryText(int days) {
  return QCoreApplication::translate("Island", "%n days", nullptr, days).toStdString();
}

IslandAuthenticationStatus islandAuthenticationStatus(const AuthenticationState& state) {
  namespace auth = authentication_state;
  if (std::holds_alternative<auth::SignedOut>(state)) {
    return {"person.fill", false, QCoreApplication::translate("Island", "Sign In").toStdString(),
            QCoreApplication::translate("Island", "Sign in to Tavrel").toStdString()};
  }
  if (std::holds_alternative<auth::Authorizing>(state)) {
    return {"rays", true, QCoreApplication::translate("Island", "Signing In").toStdString(),
            QCoreApplication::translate("Island", "Signing in to Tavrel").toStdString()};
  }
  if (std::holds_alternative<auth::Restoring>(state)) {
    //: The island while the session is restored at start.
    return {"rays", true, QCoreApplication::translate("Island", "Loading").toStdString(),
            QCoreApplication::translate("Island", "Restoring Tavrel sign in").toStdString()};
  }
  if (std::holds_alternative<auth::TemporarilyUnavailable>(state)) {
    return {"arrow.clockwise", false, QCoreApplication::translate("Island", "Retry").toStdString(),
            QCoreApplication::translate("Island", "Tavrel unavailable. Press to retry.").toStdString()};
  }
  if (!canInitiateTransfer(state)) {
    return {"exclamationmark.triangle.fill", false,
            QCoreApplication::translate("Island", "Sending Unavailable").toStdString(),
            QCoreApplication::translate("Island", "Sending is unavailable for this workspace").toStdString()};
  }
  return {"", false, "", QCoreApplication::translate("Island", "Tavrel authenticated").toStdString()};
}

CompactReviewStatus compactReviewStatus(const TransferReviewState& review) {
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) {
    return {CompactReviewStatus::Icon::progress,
            QCoreApplication::translate("Island", "Preparing…").toStdString()};
  }
  if (std::holds_alternative<review_preparation::Failed>(review.preparation) || review.hasRetryPreparedTransfer()) {
    return {CompactReviewStatus::Icon::warning,
            QCoreApplication::translate("Island", "Transfer failed").toStdString()};
  }
  return {CompactReviewStatus::Icon::ready,
          QCoreApplication::translate("Island", "Ready to upload").toStdString()};
}

std::string reviewDisplayName(const TransferReviewState& review) {
  if (review.selection.items.empty()) {
    return QCoreApplication::translate("Island", "Untitled Transfer").toStdString();
  }
  return review.selection.items.front().displayName;
}

std::optional<std::string> reviewProblemMessage(const TransferReviewState& review) {
  if (review.errorMessage) return ui::translatedCoreText(*review.errorMessage).toStdString();
  if (const auto* failed = std::get_if<review_preparation::Failed>(&review.preparation)) {
    return ui::translatedCoreText(failed->message).toStdString();
  }
  return std::nullopt;
}

std::string reviewSizeText(const TransferReviewState& review) {
  if (const auto total = review.preparedTotalBytes()) return formatFileSize(*total);
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) {
    return QCoreApplication::translate("Island", "Calculating...").toStdString();
  }
  return "—";
}

std::string reviewStartHint(const TransferReviewState& review) {
  if (std::holds_alternative<review_preparation::Calculating>(review.preparation)) {
    return QCoreApplication::translate("Island", "Wait for the selected files to finish calculating.")
        .toStdString();
  }
  return review.hasRetryPreparedTransfer()
             ? QCoreApplication::translate("Island", "Resumes the existing upload.").toStdString()
             : QCoreApplication::translate("Island", "Prepares and uploads the selected files.")
                   .toStdString();
}

std::string itemCardAccessibilityLabel(const SelectedTransferItem& item) {
  QString label;
  switch (item.previewKind) {
    case TransferPreviewKind::image:
      label = QCoreApplication::translate("Island", "Image, %1");
      break;
    case TransferPreviewKind::video:
      label = QCoreApplication::translate("Island", "Video, %1");
      break;
    case TransferPreviewKind::none:
      label = item.kind == TransferItemKind::folder ? QCoreApplication::translate("Island", "Folder, %1")
                                                    : QCoreApplication::translate("Island", "File, %1");
      break;
  }
  return label.arg(QString::fromStdString(item.displayName)).toStdString();
}

int carouselLastScrollIndex(int itemCount, double carouselWidth) {
  if (carouselWidth <= 0 || itemCount < 2) return 0;
  const double content = itemCount * carouselItemWidth + (itemCount - 1) * carouselItemSpacing;
  const double overflow = std::max(content - carouselWidth, 0.0);
  const int steps = static_cast<int>(std::ceil(overflow / (carouselItemWidth + carouselItemSpacing)));
  return std::min(itemCount - 1, steps);
}

}  // namespace tavrel
