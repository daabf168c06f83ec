#include "MemoryTuning.h"

#include <malloc.h>

void keepFreedMemory()
{
    // Qt's PDF engine allocates and frees a large buffer for every page;
    // keeping freed memory instead of handing it back saves page faults.
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TOP_PAD, 16 * 1024 * 1024);
}
