// The few calls of the posix services that only Linux offers. A port to another system replaces
// the files that define them: linux_large_blocks.cpp and linux_realtime.cpp (and the ELF resource
// lookup, elf_resources.cpp).
#pragma once

#include <cstddef>

namespace quavr::platform::posix {

// Memory for a block of `bytes`, zero-filled; large ones are mapped on their own and asked for
// huge pages. Null when there is none.
void* allocateBlockMemory(std::size_t bytes);
// As allocateBlockMemory, without zero-filling what malloc reuses.
void* allocateUnzeroedBlockMemory(std::size_t bytes);
// Either kind of block goes back here.
void releaseBlockMemory(void* data, std::size_t bytes);

// Gives the calling thread (the timer thread) SCHED_FIFO and a 1 µs timer slack where the system
// grants them; true when it runs with SCHED_FIFO.
bool raiseTimerThreadPriority();

}  // namespace quavr::platform::posix
