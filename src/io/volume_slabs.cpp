#include "volume_slabs.h"

#include "byte_order.h"
#include "file_facts.h"
#include "load_description.h"
#include "volume_file.h"
#include "voxel_buffer.h"
#include "zarr_read.h"

#include <zvf.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Reverses the bytes of n values of size bytes in place.
void swapValues(unsigned char* p, size_t n, size_t size)
{
    for (size_t i = 0; i < n; ++i)
        std::reverse(p + i * size, p + (i + 1) * size);
}

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20);
}

// ---- raw files ----

class RawSlabs : public VolumeSlabs
{
public:
    RawSlabs(FILE* file, const RawLayout& layout, bool bigEndian) : myFile(file), myBigEndian(bigEndian)
    {
        for (int a = 0; a < 3; ++a) {
            resolution[a] = layout.size[a];
            spacing[a] = layout.spacing[a];
        }
        bands = layout.channels;
        type = layout.type;
        name = baseName(layout.path);
    }
    ~RawSlabs() override { std::fclose(myFile); }

    // Raw slices z0 ... z0 + count - 1 as stored (channels adjacent), zeros past the file's end.
    void readStored(int z0, int count, unsigned char* out)
    {
        const size_t slice = sliceBytes();
        const size_t want = slice * static_cast<size_t>(count);
        size_t got = 0;
        if (fseeko(myFile, static_cast<off_t>(slice * static_cast<size_t>(z0)), SEEK_SET) == 0)
            got = std::fread(out, 1, want, myFile);
        std::memset(out + got, 0, want - got);
        clearerr(myFile);
    }

    bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string*) override
    {
        const size_t item = static_cast<size_t>(bytesOfVoxelType(type));
        const size_t values = static_cast<size_t>(count) * resolution[0] * resolution[1];
        unsigned char* stored = out;
        if (bands > 1) {
            myBuffer.resize(sliceBytes() * static_cast<size_t>(count));
            stored = myBuffer.data();
        }
        readStored(z0, count, stored);
        if (item > 1 && myBigEndian != hostBigEndian())
            swapValues(stored, values * static_cast<size_t>(bands), item);
        for (int b = 0; b < bands && bands > 1; ++b)
            for (size_t v = 0; v < values; ++v)
                std::memcpy(out + b * bandStride + v * item, stored + (v * bands + b) * item, item);
        return true;
    }

    // The byte order the values are read in.
    void readAs(bool bigEndian) { myBigEndian = bigEndian; }

    // Bytes of one stored slice, channels included.
    size_t sliceBytes() const
    {
        return static_cast<size_t>(resolution[0]) * resolution[1] * bands * bytesOfVoxelType(type);
    }

private:
    FILE* myFile;                       // the raw file, owned
    bool myBigEndian;                   // the file's byte order
    std::vector<unsigned char> myBuffer; // interleaved channels before they are parted
};

// Whether the middle slices of an unstated raw file read more smoothly
// little-endian (the loader's rule, judged on up to 16 slices).
bool guessLittleEndian(RawSlabs& raw)
{
    const int count = std::min(16, raw.resolution[2]);
    const int z0 = (raw.resolution[2] - count) / 2;
    std::vector<unsigned char> stored(raw.sliceBytes() * static_cast<size_t>(count));
    raw.readStored(z0, count, stored.data());
    const int dims[3] = {raw.resolution[0], raw.resolution[1], count};
    return looksLittleEndian(stored.data(), raw.type, dims, raw.bands);
}

// ---- zvf files ----

class ZvfSlabs : public VolumeSlabs
{
public:
    ~ZvfSlabs() override
    {
        for (FILE* f : myStreams)
            std::fclose(f);
        zvfFreeHeader(&myHeader);
        zvfFreeHdrTF(&myHeader);
    }

    // One stream per band, each at its band's first slice record.
    bool open(const std::string& path, std::string* why)
    {
        std::memset(&myHeader, 0, sizeof myHeader);
        for (int b = 0; b == 0 || b < myHeader.nbands; ++b) {
            zvfHeader h;
            std::memset(&h, 0, sizeof h);
            FILE* f = zvfReadHeader(path.c_str(), b == 0 ? &myHeader : &h);
            if (b > 0) {
                zvfFreeHeader(&h);
                zvfFreeHdrTF(&h);
            }
            if (!f) {
                *why = path + ": " + zvfErrorText[zvfLastError > 0 && zvfLastError < zvfErrCount ? zvfLastError : 5];
                return false;
            }
            myStreams.push_back(f);
            if (!skipRecords(f, static_cast<uint64_t>(b) * myHeader.vdim[2])) {
                *why = path + ": the file is cut short";
                return false;
            }
        }
        return describe(path, why);
    }

    bool read(int, int count, unsigned char* out, size_t bandStride, std::string* why) override
    {
        const size_t values = static_cast<size_t>(resolution[0]) * resolution[1];
        const size_t item = static_cast<size_t>(bytesOfVoxelType(type));
        for (int b = 0; b < bands; ++b)
            for (int z = 0; z < count; ++z) {
                unsigned char* dst = out + b * bandStride + static_cast<size_t>(z) * values * item;
                const bool wide = myHeader.dtype == zvfDouble;
                if (wide)
                    myDoubles.resize(values);
                if (!zvfReadSlice(myStreams[static_cast<size_t>(b)], wide ? static_cast<void*>(myDoubles.data()) : dst,
                                  &myHeader)) {
                    *why = name + ": the voxels cannot be read (the file is damaged or cut short)";
                    return false;
                }
                for (size_t i = 0; wide && i < values; ++i) {
                    const float f = static_cast<float>(myDoubles[i]);
                    std::memcpy(dst + i * sizeof f, &f, sizeof f);
                }
            }
        return true;
    }

private:
    // Skips n slice records (a length and its bytes each).
    static bool skipRecords(FILE* f, uint64_t n)
    {
        for (uint64_t i = 0; i < n; ++i) {
            unsigned long length = 0;
            if (!ReadLong(f, &length) || fseeko(f, static_cast<off_t>(length), SEEK_CUR) != 0)
                return false;
        }
        return true;
    }

    // The header's shape, type, spacing and unit.
    bool describe(const std::string& path, std::string* why)
    {
        const zvfHeader& h = myHeader;
        for (int a = 0; a < 3; ++a)
            resolution[a] = h.vdim[a];
        bands = h.nbands;
        switch (h.dtype) {
        case zvfUInt12: type = VOXEL_USHORT; break;
        case zvfIntHU: type = VOXEL_SHORT; break;
        case zvfDouble: type = VOXEL_FLOAT; break;
        default: type = typeFromZvf(h.dtype, nullptr); break;
        }
        const float* rects[3] = {h.rx, h.ry, h.rz};
        const float plain[3] = {h.px, h.py, h.pz};
        for (int a = 0; a < 3; ++a) {
            double sum = 0.0;
            for (int i = 0; rects[a] && i < h.vdim[a]; ++i)
                sum += rects[a][i];
            spacing[a] = rects[a] ? static_cast<float>(sum / h.vdim[a]) : plain[a];
        }
        unit = h.units == zvfUum ? "micrometer" : h.units == zvfUm ? "meter" : "millimeter";
        name = baseName(path);
        if (bands < 1) {
            *why = path + ": " + std::to_string(bands) + " bands is not a volume";
            return false;
        }
        return true;
    }

    std::vector<FILE*> myStreams;  // one per band, owned
    zvfHeader myHeader;            // the file's header (owns its arrays)
    std::vector<double> myDoubles; // a slice of double values before they become float
};

// ---- Zarr arrays ----

class ZarrSlabs : public VolumeSlabs
{
public:
    explicit ZarrSlabs(const ZarrPyramid& pyramid) : myPyramid(pyramid)
    {
        int64_t r[3];
        myPyramid.resolution(0, r);
        for (int a = 0; a < 3; ++a) {
            resolution[a] = static_cast<int>(r[a]);
            spacing[a] = static_cast<float>(myPyramid.levels[0].scale[myPyramid.spaceAxis(a < myPyramid.spaceAxes ? a : 0)]);
        }
        bands = static_cast<int>(myPyramid.channels(0));
        type = myPyramid.levels[0].array.type;
        unit = myPyramid.axisUnit[myPyramid.spaceAxis(0)];
        name = baseName(myPyramid.root);
    }

    bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string* why) override
    {
        const int64_t lo[3] = {0, 0, z0};
        const int64_t hi[3] = {resolution[0], resolution[1], z0 + count};
        for (int b = 0; b < bands; ++b)
            if (!readZarrBox(myPyramid, 0, zarrVoxelBox(myPyramid, lo, hi, b, b + 1), out + b * bandStride, why))
                return false;
        return true;
    }

private:
    ZarrPyramid myPyramid; // the source's metadata
};

// ---- volumes read whole ----

class WholeSlabs : public VolumeSlabs
{
public:
    explicit WholeSlabs(VolumeFile&& file) : myFile(std::move(file))
    {
        for (int a = 0; a < 3; ++a) {
            resolution[a] = myFile.resolution[a];
            spacing[a] = myFile.spacing[a];
        }
        bands = myFile.bands;
        type = myFile.type;
    }

    bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string*) override
    {
        const size_t item = static_cast<size_t>(bytesOfVoxelType(type));
        const size_t slice = static_cast<size_t>(resolution[0]) * resolution[1];
        const size_t voxels = slice * static_cast<size_t>(resolution[2]);
        const unsigned char* data = static_cast<const unsigned char*>(myFile.data);
        for (int b = 0; b < bands; ++b) {
            unsigned char* dst = out + b * bandStride;
            for (size_t v = slice * static_cast<size_t>(z0), n = 0; n < slice * static_cast<size_t>(count); ++v, ++n) {
                const size_t at = myFile.bandMajor ? static_cast<size_t>(b) * voxels + v : v * bands + b;
                std::memcpy(dst + n * item, data + at * item, item);
            }
            if (item > 1 && myFile.bigEndianValues != hostBigEndian())
                swapValues(dst, slice * static_cast<size_t>(count), item);
        }
        return true;
    }

private:
    VolumeFile myFile; // all voxels
};

class SampleSlabs : public VolumeSlabs
{
public:
    explicit SampleSlabs(const SampleGrid& grid) : myGrid(grid)
    {
        for (int a = 0; a < 3; ++a) {
            resolution[a] = grid.size[a];
            spacing[a] = grid.spacing[a];
        }
        bands = grid.bands;
        type = grid.type;
        unit = grid.name == "multiband" ? "" : "millimeter";
        name = grid.name;
    }

    bool read(int z0, int count, unsigned char* out, size_t bandStride, std::string*) override
    {
        sampleSlices(myGrid, z0, count, out, bandStride);
        return true;
    }

private:
    SampleGrid myGrid; // what to make
};

// The description file's fault in words.
std::string descriptionFault(DescriptionError error, const std::string& key)
{
    switch (error) {
    case DescriptionError::None: break;
    case DescriptionError::BadChannels: return "NbrChannels: must be 1 to 4";
    case DescriptionError::MissingKey: return "key \"" + key + "\" is missing";
    case DescriptionError::WordTooLong: return "word after \"" + key + "\" is too long";
    case DescriptionError::BadValue: return "value of \"" + key + "\" is unreadable";
    case DescriptionError::BadByteOrder: return "\"" + key + "\" must be little or big";
    }
    return std::string();
}

std::unique_ptr<VolumeSlabs> descriptionSlabs(const std::string& path, std::string* why)
{
    std::string text, key;
    Description d;
    if (!readDescriptionText(path, &text)) {
        *why = path + ": cannot be opened";
        return nullptr;
    }
    const DescriptionError error = parseDescription(text, &d, &key);
    if (error != DescriptionError::None) {
        *why = path + ": " + descriptionFault(error, key);
        return nullptr;
    }
    RawLayout layout;
    layout.path = rawFilePath(path, d.objectFileName);
    layout.type = typeFromName(d.format.c_str(), nullptr);
    layout.channels = d.nbrChannels;
    layout.order = d.byteOrder;
    for (int a = 0; a < 3; ++a) {
        layout.size[a] = d.resolution[a];
        layout.spacing[a] = d.sliceThickness[a];
    }
    std::unique_ptr<VolumeSlabs> slabs = openRawSlabs(layout, why);
    if (slabs)
        slabs->name = baseName(path);
    return slabs;
}

// A format read whole: refused when its files or voxels exceed the limit.
std::unique_ptr<VolumeSlabs> wholeSlabs(const std::string& path, uint64_t limit, std::string* why)
{
    uint64_t stored = 0;
    if (!fileSize(path, &stored))
        stored = folderBytes(path);
    const std::string refusal = path + ": cannot be read slab by slab, and its ";
    if (stored > limit) {
        *why = refusal + megabytes(stored) + " MB of files exceed the memory limit of " + megabytes(limit) + " MB";
        return nullptr;
    }
    VolumeFile file;
    if (!readVolume(path, &file, why))
        return nullptr;
    size_t values = 0, bytes = 0;
    if (!voxelCount(file.resolution, file.bands, bytesOfVoxelType(file.type), &values, &bytes) || bytes > limit) {
        *why = refusal + megabytes(bytes) + " MB of voxels exceed the memory limit of " + megabytes(limit) + " MB";
        return nullptr;
    }
    std::unique_ptr<VolumeSlabs> slabs(new WholeSlabs(std::move(file)));
    slabs->name = baseName(path);
    return slabs;
}

} // namespace

std::unique_ptr<VolumeSlabs> openRawSlabs(const RawLayout& layout, std::string* why)
{
    size_t values = 0, bytes = 0;
    if (!isVoxelType(layout.type) || !voxelCount(layout.size, layout.channels, bytesOfVoxelType(layout.type), &values,
                                                  &bytes)) {
        *why = layout.path + ": incorrect volume dimensions";
        return nullptr;
    }
    FILE* f = std::fopen(layout.path.c_str(), "rb");
    if (!f) {
        *why = layout.path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<RawSlabs> raw(new RawSlabs(f, layout, layout.order != RawByteOrder::Little));
    if (layout.order == RawByteOrder::Unstated && bytesOfVoxelType(layout.type) > 1 && guessLittleEndian(*raw)) {
        raw->readAs(false);
        raw->note = "Raw data read as little-endian (smoother than big-endian).";
    }
    return std::unique_ptr<VolumeSlabs>(raw.release());
}

std::unique_ptr<VolumeSlabs> openVolumeSlabs(const std::string& path, uint64_t memoryLimit, std::string* why)
{
    switch (detectFormat(path)) {
    case FileFormat::Zvf: {
        std::unique_ptr<ZvfSlabs> zvf(new ZvfSlabs);
        if (!zvf->open(path, why))
            return nullptr;
        return std::unique_ptr<VolumeSlabs>(zvf.release());
    }
    case FileFormat::Zarr: {
        ZarrPyramid pyramid;
        if (!openZarrPyramid(path, &pyramid, why))
            return nullptr;
        return std::unique_ptr<VolumeSlabs>(new ZarrSlabs(pyramid));
    }
    case FileFormat::Description: return descriptionSlabs(path, why);
    case FileFormat::Foreign: break;
    }
    return wholeSlabs(path, memoryLimit, why);
}

std::unique_ptr<VolumeSlabs> sampleSlabs(const SampleGrid& grid)
{
    return std::unique_ptr<VolumeSlabs>(new SampleSlabs(grid));
}
