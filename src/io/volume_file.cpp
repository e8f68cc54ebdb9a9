#include "volume_file.h"

#include "error_handling.h"
#include "file_facts.h"
#include "load_foreign.h"
#include "reader_process.h"
#include "voxel_buffer.h"
#include "zarr_metadata.h"
#include "zarr_read.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <utility>
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
    oriented = other.oriented;
    std::memcpy(direction, other.direction, sizeof direction);
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
    oriented = false;
    for (int i = 0; i < 9; ++i)
        direction[i] = i % 4 == 0 ? 1.0f : 0.0f;
    info.clear();
    ratioAt = std::string::npos;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// A file name of a numbered series: what comes before the running number,
// the number, and the ending from the first dot on.
struct NumberedName
{
    std::string prefix; // "vol_"
    long number = 0;    // 12
    std::string ending; // ".zvf"
};

// The endings of the files a series is made of.
bool seriesEnding(const std::string& ending)
{
    std::string l = ending;
    for (char& c : l)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* e : {".zvf", ".nii", ".nii.gz", ".nrrd", ".mha"})
        if (l == e)
            return true;
    return false;
}

// False for names without digits just before their ending.
bool splitNumbered(const std::string& name, NumberedName* out)
{
    const size_t dot = name.find('.', 1);
    if (dot == std::string::npos)
        return false;
    size_t begin = dot;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(name[begin - 1])))
        --begin;
    if (begin == dot || dot - begin > 9)
        return false;
    out->prefix = name.substr(0, begin);
    out->number = std::strtol(name.substr(begin, dot - begin).c_str(), nullptr, 10);
    out->ending = name.substr(dot);
    return true;
}

// Time point t of a numbered series: its file, read as readVolume reads it.
bool readSeriesVolume(const std::vector<std::string>& files, size_t t, VolumeFile* out, std::string* why,
                      const ShapeCheck& check)
{
    if (t >= files.size()) {
        *why = directoryOf(files[0]) + ": has " + std::to_string(files.size()) + " time points, not " +
               std::to_string(t + 1);
        return false;
    }
    if (!readVolume(files[t], out, why, check))
        return false;
    out->timePoints = files.size();
    out->info += timePointsLine(files.size(), t);
    return true;
}

bool importForeign(const std::string& path, size_t timePoint, VolumeFile* out, std::string* why)
{
    return importForeignVolume(path, out, why, timePoint);
}

// The libraries behind the foreign formats run in a child process, forked
// ahead when the program found the time.
bool importIsolated(const std::string& path, VolumeFile* out, std::string* why, size_t timePoint = 0)
{
    return readInStandby(path, timePoint, importForeign, out, why);
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

std::string timePointsLine(size_t count, size_t shown)
{
    const size_t n = shown + 1;
    std::string which = "the first";
    if (n > 1) {
        const size_t tens = n % 100, ones = n % 10;
        const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                             : ones == 1                ? "st"
                             : ones == 2                ? "nd"
                             : ones == 3                ? "rd"
                                                        : "th";
        which = "the " + std::to_string(n) + suffix;
    }
    return "Time points:\t" + std::to_string(count) + ", " + which + " shown\n";
}

std::vector<std::string> numberedVolumes(const std::string& dir)
{
    std::vector<std::pair<long, std::string>> found;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return {};
    NumberedName first;
    bool same = true;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        NumberedName n;
        if (name[0] == '.' || !splitNumbered(name, &n) || !seriesEnding(n.ending) || isDirectory(joinPath(dir, name)))
            continue;
        if (found.empty())
            first = n;
        same = same && n.prefix == first.prefix && n.ending == first.ending;
        found.emplace_back(n.number, joinPath(dir, name));
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    for (size_t i = 1; i < found.size(); ++i)
        same = same && found[i].first != found[i - 1].first;
    if (!same || found.size() < 2)
        return {};
    std::vector<std::string> files;
    for (const auto& f : found)
        files.push_back(f.second);
    return files;
}

bool readVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check)
{
    out->release();
    if (isDirectory(path)) {
        const std::vector<std::string> series = numberedVolumes(path);
        if (!series.empty())
            return readSeriesVolume(series, 0, out, why, check);
    }
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
    if (isDirectory(path)) {
        const std::vector<std::string> series = numberedVolumes(path);
        if (!series.empty())
            return readSeriesVolume(series, timePoint, out, why, {}) || (out->release(), false);
    }
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

void prepareForeignReader()
{
    prepareReaderChild(importForeign);
}
