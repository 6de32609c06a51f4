#include "proclaunch/launch_heap.h"

namespace proclaunch {

namespace {
volatile LONG g_outstanding = 0;
volatile LONG g_failCountdown = 0;
}  // namespace

LaunchHeapBlock AllocateLaunchBlock(size_t bytes)
{
    if (g_failCountdown > 0 && ::InterlockedDecrement(&g_failCountdown) == 0) {
        return LaunchHeapBlock();
    }
    void* block = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (block != nullptr) {
        ::InterlockedIncrement(&g_outstanding);
    }
    return LaunchHeapBlock(block);
}

void FreeLaunchBlock(void* block)
{
    if (block != nullptr && ::HeapFree(::GetProcessHeap(), 0, block)) {
        ::InterlockedDecrement(&g_outstanding);
    }
}

long OutstandingLaunchBlocks()
{
    return g_outstanding;
}

void FailLaunchAllocationForTests(long n)
{
    ::InterlockedExchange(&g_failCountdown, n);
}

}  // namespace proclaunch
