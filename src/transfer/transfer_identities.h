#pragma once

#include "platform/uuid.h"

namespace tavrel {

struct TransferItemIDTag {};
struct UploadRunIDTag {};
struct ReviewPreparationIDTag {};
struct TransferSourceAccessIDTag {};

// One transfer item: a selection on its way from the queue through review and upload to
// completion or failure.
using TransferItemID = platform::Id<TransferItemIDTag>;
// One upload run of an item; a retry is a new run.
using UploadRunID = platform::Id<UploadRunIDTag>;
// One preparation pass over a selection.
using ReviewPreparationID = platform::Id<ReviewPreparationIDTag>;
// One registered access to handed-over files that must stay open while an item uses them.
using TransferSourceAccessID = platform::Id<TransferSourceAccessIDTag>;

}  // namespace tavrel
