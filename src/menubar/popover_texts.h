#pragma once

// The popover's short texts built from data: file sizes, ages of recent transfers, the figures of a
// running upload and the subtitles of recent rows. Numbers with a point as decimal separator,
// whatever the user's locale; the words come from the translation catalogue.
//
//   formatFileSize(1'234'567);                        // "1.2 MB"
//   formatRelativeAge(createdAt, now);                // "3 min. ago"
//   uploadPercent(0.996);                             // 99

#include <chrono>
#include <cstdint>
#include <string>

#include "records/transfer_service_records.h"
#include "transfer/formatting.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_selection.h"
#include "transfer/upload_progress_snapshot.h"

namespace tavrel {

// How long ago `date` was, in the largest whole unit: "12 sec. ago", "3 min. ago", "1 hr. ago",
// "2 days ago", "1 wk. ago", "4 mo. ago", "1 yr. ago"; a date after `now` reads "in 3 min.".
std::string formatRelativeAge(std::chrono::system_clock::time_point date, std::chrono::system_clock::time_point now);

// The whole percent of an upload's fraction: 0 at or below 0, at most 100, never rounded up.
int uploadPercent(double progress);

// "1.2/3 MB • 512 KB/s • 2m 5s", or "… • Calculating…" while the rate is unknown.
std::string uploadDetailText(const UploadProgressSnapshot& progress);

// What a selection holds, counted compactly: "3 files", "1 folder", "1.2K items".
std::string selectionSummaryText(const TransferSelection& selection);

// A selection under review, with the prepared file count when it differs: "2 folders (14 files)".
std::string reviewSummaryText(const TransferReviewState& review);

// "3 files • 1.2 MB • 2 hr. ago".
std::string recentSubtitle(const RecentTransfer& transfer, std::chrono::system_clock::time_point now);

}  // namespace tavrel
