// Time points kept in memory once read, so that playing a 4-D data set
// again reads nothing: copies of the VolumeFiles as the reader gave them,
// within a byte budget, the least recently shown dropped first.
#ifndef GLIMRA_TIME_POINT_CACHE_H
#define GLIMRA_TIME_POINT_CACHE_H

#include "volume_file.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

class TimePointCache
{
public:
    // Keeps at most budget bytes of voxels (0: nothing).
    explicit TimePointCache(uint64_t budget = 0) : myBudget(budget) {}
    // A new budget; time points beyond it are dropped.
    void setBudget(uint64_t budget);
    // Drops every time point (another data set is on screen).
    void clear();
    // A copy of time point t of path into *out (released first); false when
    // it is not kept or the copy cannot be allocated.
    bool get(const std::string& path, size_t t, VolumeFile* out);
    // Keeps a copy of file as time point t of path when it fits the budget,
    // dropping the least recently used ones to make room.
    void keep(const std::string& path, size_t t, const VolumeFile& file);
    // Bytes of voxels kept, and time points kept.
    uint64_t bytes() const { return myBytes; }
    size_t count() const { return myEntries.size(); }

private:
    // One kept time point.
    struct Entry
    {
        std::string path; // the data set it belongs to
        size_t t = 0;     // its number (0 the first)
        VolumeFile file;  // its copy
        uint64_t bytes = 0; // bytes of its voxels
    };
    // Drops the least recently used until at most budget bytes are kept.
    void shrinkTo(uint64_t budget);

    uint64_t myBudget;          // bytes of voxels at most
    uint64_t myBytes = 0;       // bytes of voxels kept
    std::list<Entry> myEntries; // most recently used first
};

// Bytes of the voxels of a VolumeFile (0 when its shape is not sound).
uint64_t voxelBytesOf(const VolumeFile& file);
// *out becomes a copy of in, voxels included; false when they cannot be allocated.
bool copyVolumeFile(const VolumeFile& in, VolumeFile* out);

#endif
