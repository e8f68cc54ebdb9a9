// What the machine and this process have of memory, as Linux tells it.
#ifndef GLIMRA_SYSTEM_MEMORY_H
#define GLIMRA_SYSTEM_MEMORY_H

#include <cstdint>

// MemAvailable of /proc/meminfo in bytes, 0 when it cannot be read.
uint64_t availableMemory();
// The address space this process has mapped (VmSize), 0 when unknown.
uint64_t addressSpaceInUse();

#endif
