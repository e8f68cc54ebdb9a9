#include "system_memory.h"

#include <cstdio>
#include <unistd.h>

uint64_t availableMemory()
{
    FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f)
        return 0;
    char line[256];
    unsigned long long kb = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
        found = std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1;
    std::fclose(f);
    return found && kb < (1ull << 53) ? static_cast<uint64_t>(kb) * 1024 : 0;
}

uint64_t addressSpaceInUse()
{
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    unsigned long long pages = 0;
    const bool read = std::fscanf(f, "%llu", &pages) == 1;
    std::fclose(f);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (!read || pageSize <= 0 || pages > (1ull << 52) / static_cast<unsigned long long>(pageSize))
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}
