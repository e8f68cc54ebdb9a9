#include "volume_file.h"

#include "error_handling.h"
#include "file_facts.h"
#include "load_foreign.h"
#include "reader_process.h"
#include "voxel_buffer.h"
#include "zarr_metadata.h"
#include "zarr_read.h"

#include <cstring>
#include <strings.h>

const char* const kIncompatibleMask = "Incompatible mask resolution.";

VolumeFile& VolumeFile::operator=(VolumeFile&& other) noexcept
{
    if (this == &other)
        return *this;
    release();
    data = other.data;
    other.data = nullptr;
    type = other.type;
    std::memcpy(resolution, other.resolution, sizeof resolution);
    std::memcpy(spacing, other.spacing, sizeof spacing);
    bands = other.bands;
    bandMajor = other.bandMajor;
    bigEndianValues = other.bigEndianValues;
    timePoints = other.timePoints;
    info = std::move(other.info);
    ratioAt = other.ratioAt;
    other.release();
    return *this;
}

void VolumeFile::release()
{
    if (data)
        RELEASE_VOXELS(data);
    type = VOXEL_UCHAR;
    for (int a = 0; a < 3; ++a) {
        resolution[a] = 0;
        spacing[a] = 1.0f;
    }
    bands = 1;
    bandMajor = false;
    bigEndianValues = false;
    timePoints = 1;
    info.clear();
    ratioAt = std::string::npos;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// The libraries behind the foreign formats run in a child process.
bool importIsolated(const std::string& path, VolumeFile* out, std::string* why, size_t timePoint = 0)
{
    return readInChild(
        path,
        [&path, timePoint](VolumeFile* v, std::string* w) { return importForeignVolume(path, v, w, timePoint); },
        out, why);
}

} // namespace

FileFormat detectFormat(const std::string& path)
{
    const size_t n = path.size();
    if (n >= 4 && strcasecmp(path.c_str() + n - 4, ".zvf") == 0)
        return FileFormat::Zvf;
    if (isZarrPath(path))
        return FileFormat::Zarr;
    if (isDirectory(path) || isForeignVolume(path))
        return FileFormat::Foreign;
    return FileFormat::Description;
}

bool readVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check)
{
    out->release();
    bool ok = false;
    switch (detectFormat(path)) {
    case FileFormat::Zvf: ok = readZvfVolume(path, out, why, check); break;
    case FileFormat::Description: ok = readDescriptionVolume(path, out, why, check); break;
    case FileFormat::Foreign: ok = importIsolated(path, out, why); break;
    // Our own reader, bounded throughout: in this process.
    case FileFormat::Zarr: ok = readZarrVolume(path, out, why, check); break;
    }
    if (!ok)
        out->release();
    return ok;
}

bool readTimePoint(const std::string& path, size_t timePoint, VolumeFile* out, std::string* why)
{
    out->release();
    if (timePoint == 0)
        return readVolume(path, out, why);
    if (detectFormat(path) != FileFormat::Foreign) {
        *why = path + ": has no time points";
        return false;
    }
    const bool ok = importIsolated(path, out, why, timePoint);
    if (!ok)
        out->release();
    return ok;
}

bool readMask(const std::string& path, const int resolution[3], VolumeFile* out, std::string* why)
{
    out->release();
    bool ok = false;
    switch (detectFormat(path)) {
    case FileFormat::Zvf: ok = readZvfMask(path, resolution, out, why); break;
    case FileFormat::Description: ok = readDescriptionMask(path, resolution, out, why); break;
    case FileFormat::Foreign: ok = importIsolated(path, out, why); break;
    case FileFormat::Zarr: ok = readZarrVolume(path, out, why); break;
    }
    if (ok && (out->resolution[0] != resolution[0] || out->resolution[1] != resolution[1] ||
               out->resolution[2] != resolution[2])) {
        *why = kIncompatibleMask;
        ok = false;
    }
    if (ok && out->bands > 1) {
        // One mask value per voxel: the first band, moved to the front.
        const size_t size = static_cast<size_t>(bytesOfVoxelType(out->type));
        const size_t voxels = static_cast<size_t>(resolution[0]) * static_cast<size_t>(resolution[1]) *
                              static_cast<size_t>(resolution[2]);
        unsigned char* v = static_cast<unsigned char*>(out->data);
        if (!out->bandMajor)
            for (size_t i = 1; i < voxels; ++i)
                std::memmove(v + i * size, v + i * size * static_cast<size_t>(out->bands), size);
        out->bands = 1;
        out->bandMajor = false;
    }
    if (!ok)
        out->release();
    return ok;
}
