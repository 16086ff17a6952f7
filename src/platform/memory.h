#pragma once

namespace tavrel::platform {

// Hands the pages of freed heap memory back to the system, in every thread's arena. The allocator
// keeps what a thread freed for that thread's next allocations; after a phase that built and
// dropped a large transient structure (a walk of a hundred thousand files, a register body and its
// answer), the next phase runs on other threads and would never reuse it. A few milliseconds.
void releaseFreedMemory() noexcept;

}  // namespace tavrel::platform
