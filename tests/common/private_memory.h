// The committed private memory of this process, counted from its address
// space as Windows defines private bytes: the committed regions of type
// MEM_PRIVATE. (Wine leaves PrivateUsage of PROCESS_MEMORY_COUNTERS_EX at 0,
// so it is not asked.) Used by the soak test and the benchmarks.
#pragma once

#include <windows.h>

struct PrivateMemory {
    size_t regions = 0;
    size_t bytes = 0;
};

inline PrivateMemory private_memory()
{
    PrivateMemory m;
    MEMORY_BASIC_INFORMATION mbi;
    const char *p = NULL;
    while (VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) {
            m.regions++;
            m.bytes += mbi.RegionSize;
        }
        const char *next = (const char *)mbi.BaseAddress + mbi.RegionSize;
        if (next <= p)
            break;
        p = next;
    }
    return m;
}
