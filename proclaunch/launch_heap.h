#pragma once
// Zero-filled blocks of the process heap for the launch routines, counted
// so that a caller can see that every path gave back what it took.

#include "common/unique_resource.h"

#include <windows.h>

namespace proclaunch {

// The failure code of the launch routines when heap memory is not there.
constexpr DWORD HeapMemoryMissing = 0xFFFFFFFF;

// Frees a block handed out by AllocateLaunchBlock and released by its owner.
void FreeLaunchBlock(void* block);

using LaunchHeapBlock = common::UniqueResource<common::ReleasedBy<void*, &FreeLaunchBlock>>;

// A zero-filled block, or an empty owner when the heap refuses.
LaunchHeapBlock AllocateLaunchBlock(size_t bytes);

// Blocks handed out and not yet freed.
long OutstandingLaunchBlocks();

// Out-of-memory cannot be provoked on demand: make the n-th allocation from
// now on fail (1 is the next one); 0 turns this off.
void FailLaunchAllocationForTests(long n);

}  // namespace proclaunch
