#include "time_point_cache.h"

#include "voxel_buffer.h"

#include <cstring>

uint64_t voxelBytesOf(const VolumeFile& file)
{
    size_t values = 0, bytes = 0;
    if (!file.data || !isVoxelType(file.type) ||
        !voxelCount(file.resolution, file.bands, bytesOfVoxelType(file.type), &values, &bytes))
        return 0;
    return bytes;
}

bool copyVolumeFile(const VolumeFile& in, VolumeFile* out)
{
    out->release();
    const uint64_t bytes = voxelBytesOf(in);
    if (bytes == 0)
        return false;
    GUARDED_VOXELS_AS(out->data, "tmpdata", static_cast<size_t>(bytes));
    if (!out->data) {
        g_garbageCollector.remove(out->data);
        return false;
    }
    std::memcpy(out->data, in.data, static_cast<size_t>(bytes));
    out->type = in.type;
    for (int a = 0; a < 3; ++a) {
        out->resolution[a] = in.resolution[a];
        out->spacing[a] = in.spacing[a];
    }
    out->bands = in.bands;
    out->bandMajor = in.bandMajor;
    out->bigEndianValues = in.bigEndianValues;
    out->timePoints = in.timePoints;
    out->info = in.info;
    out->ratioAt = in.ratioAt;
    return true;
}

void TimePointCache::setBudget(uint64_t budget)
{
    myBudget = budget;
    shrinkTo(budget);
}

void TimePointCache::clear()
{
    shrinkTo(0);
}

bool TimePointCache::get(const std::string& path, size_t t, VolumeFile* out)
{
    for (auto e = myEntries.begin(); e != myEntries.end(); ++e) {
        if (e->t != t || e->path != path)
            continue;
        myEntries.splice(myEntries.begin(), myEntries, e);
        return copyVolumeFile(myEntries.front().file, out);
    }
    out->release();
    return false;
}

void TimePointCache::keep(const std::string& path, size_t t, const VolumeFile& file)
{
    const uint64_t bytes = voxelBytesOf(file);
    if (bytes == 0 || bytes > myBudget)
        return;
    for (auto e = myEntries.begin(); e != myEntries.end(); ++e)
        if (e->t == t && e->path == path) {
            myBytes -= e->bytes;
            myEntries.erase(e);
            break;
        }
    shrinkTo(myBudget - bytes);
    Entry entry;
    if (!copyVolumeFile(file, &entry.file))
        return;
    entry.path = path;
    entry.t = t;
    entry.bytes = bytes;
    myBytes += bytes;
    myEntries.push_front(std::move(entry));
}

void TimePointCache::shrinkTo(uint64_t budget)
{
    while (myBytes > budget && !myEntries.empty()) {
        myBytes -= myEntries.back().bytes;
        myEntries.pop_back();
    }
}
