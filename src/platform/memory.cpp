#include "platform/memory.h"

#include <malloc.h>

namespace tavrel::platform {

void releaseFreedMemory() noexcept { ::malloc_trim(0); }

}  // namespace tavrel::platform
