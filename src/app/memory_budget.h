// What a load will hold, checked before it holds it: a volume whose
// conversion, copies and textures would not fit the memory there is is
// refused with both sizes, instead of the kernel ending the program.
#ifndef GLIMRA_MEMORY_BUDGET_H
#define GLIMRA_MEMORY_BUDGET_H

#include "system_memory.h"

#include <cstdint>
#include <string>

// The shape of a load once its file is read and its channels shaped.
struct LoadShape
{
    int resolution[3] = {0, 0, 0}; // voxels per axis
    int channels = 1;              // values per voxel after shaping
    int readBytes = 1;             // bytes per value as read
    bool stacks = false;           // the 2-D stacks are built now
    bool gradients = false;        // the gradient textures are built now
};

// Bytes of the voxels as read, and the most the load holds at once: the
// values as read (converted in place) with their padded copy beside them,
// or later the kept copy with the 3-D texture and what the style builds now
// (stacks, gradient and magnitude buffers and textures). Saturates instead
// of overflowing.
struct LoadEstimate
{
    uint64_t data = 0;
    uint64_t peak = 0;
};
LoadEstimate estimateLoad(const LoadShape& shape);

// The limit loads are held to besides the memory available (glimra-render's
// --memory); 0 for none.
void setLoadMemoryLimit(uint64_t bytes);
uint64_t loadMemoryLimit();
// What a load may hold: the smaller of the memory available and the limit
// set; 0 when neither is known.
uint64_t loadMemoryBudget();

// "PATH: opening it needs about N MB (the voxels take M MB), more than the
// K MB at hand." with the sizes in whole megabytes (N and M rounded up).
std::string memoryRefusal(const std::string& path, const LoadEstimate& estimate, uint64_t budget);

#endif
