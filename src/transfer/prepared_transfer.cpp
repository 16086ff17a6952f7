#include "transfer/prepared_transfer.h"

namespace tavrel {

std::int64_t PreparedTransfer::totalBytes() const {
  std::int64_t total = 0;
  for (const auto& file : files) total += file.size;
  return total;
}

}  // namespace tavrel
