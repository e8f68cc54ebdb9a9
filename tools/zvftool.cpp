// zvftool: inspect, convert and generate zvf volume files.
//
//   zvftool info FILE.zvf
//   zvftool convert IN.dat OUT.zvf [--little-endian | --big-endian]
//   zvftool convert IN.raw OUT.zvf --size X Y Z --type NAME [--bands N]
//                          [--spacing PX PY PZ] [--big-endian]
//   zvftool convert IN.nii|.nrrd|.mha|.dcm|.tif|FOLDER OUT.zvf
//   zvftool convert DIR.zarr OUT.zvf
//   zvftool sample NAME OUT.zvf
//   zvftool sample NAME OUT.zarr [--size N] [--type NAME] [pyramid options]
//   zvftool mask IN LOW [HIGH] OUT.zvf [--grow N]
//   zvftool pyramid IN OUT.zarr [--chunk N] [--levels L] [--compressor NAME]
//                   [--memory MB] [raw options of convert]
//
// Errors print one line on standard error and exit with status 1 (2 for a
// wrong command line).
#include "byte_order.h"
#include "load_description.h"
#include "load_foreign.h"
#include "reader_process.h"
#include "volume_file.h"
#include "sample_volumes.h"
#include "system_memory.h"
#include "threshold_mask.h"
#include "volume_slabs.h"
#include "voxel_types.h"
#include "zarr_pyramid.h"
#include "zvf.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

void usage(FILE* out)
{
    std::fprintf(out,
                 "usage: zvftool info FILE.zvf\n"
                 "       zvftool convert IN.dat OUT.zvf [--little-endian | --big-endian]\n"
                 "       zvftool convert IN.raw OUT.zvf --size X Y Z --type NAME [--bands N]\n"
                 "                       [--spacing PX PY PZ] [--big-endian]\n"
                 "       zvftool convert IN.nii|.nrrd|.mha|.dcm|.tif|FOLDER OUT.zvf\n"
                 "       zvftool convert DIR.zarr OUT.zvf\n"
                 "       zvftool sample NAME OUT.zvf\n"
                 "       zvftool sample NAME OUT.zarr [--size N] [--type NAME] [--chunk N]\n"
                 "                      [--levels L] [--compressor NAME]\n"
                 "       zvftool mask IN LOW [HIGH] OUT.zvf [--grow N]\n"
                 "       zvftool pyramid IN OUT.zarr [--chunk N] [--levels L] [--compressor NAME]\n"
                 "                       [--memory MB] [--size X Y Z --type NAME [--bands N]\n"
                 "                       [--spacing PX PY PZ] [--big-endian]]\n"
                 "\n"
                 "info     prints the header fields in the words of the data information.\n"
                 "convert  makes a zvf file from a description file (.dat) or from a raw file\n"
                 "         (little-endian unless --big-endian). A description file's raw values\n"
                 "         are read in the order its \"ByteOrder:\" line names; without one,\n"
                 "         16- and 32-bit values are read big-endian unless they are more than\n"
                 "         3 times smoother read little-endian (as the program loads them);\n"
                 "         --little-endian or --big-endian decide. Channels of a voxel are adjacent\n"
                 "         in the raw file; the zvf file stores them as bands.\n"
                 "         Type NAME: UCHAR CHAR USHORT SHORT UINT INT FLOAT, or a zvf keyword\n"
                 "         (zvfUChar ... zvfDouble). The output has the machine's byte order.\n"
                 "         NIfTI, NRRD, MetaImage, DICOM (one file or the folder of a series)\n"
                 "         and TIFF files are read as the program opens them (first time\n"
                 "         point, axes left-anterior-superior) with their voxel type, bands\n"
                 "         and spacing. An OME-Zarr pyramid (its folder or its .zattrs) gives\n"
                 "         its coarsest level, as the program opens it.\n"
                 "sample   writes a bundled sample volume. NAME is one of:\n"
                 "           phantom       16-bit CT-like head phantom 160x160x128, 0.9x0.9x1.5 mm\n"
                 "           phantom-mask  8-bit mask of the phantom's tumour\n"
                 "           multiband     6-band 8-bit set 96x96x64\n"
                 "           types-uchar types-char types-uint12 types-uint16 types-int16\n"
                 "           types-inthu types-uint32 types-int32 types-float types-double\n"
                 "                         32x24x16 volumes of every voxel type\n"
                 "         Into OUT.zarr, phantom, phantom-mask and multiband are made as an\n"
                 "         OME-Zarr pyramid of any size, slab by slab: --size N gives N^3 voxels\n"
                 "         (default: the bundled size), --type the phantom's voxel type\n"
                 "         (default USHORT); the other options as for pyramid.\n"
                 "mask     writes an 8-bit mask of IN (.zvf or .dat; the first band): 255 where\n"
                 "         the stored value lies in LOW ... HIGH (HIGH: the type's largest value\n"
                 "         when left out), 0 elsewhere; same resolution and spacing. --grow N\n"
                 "         adds every voxel within N voxels of the mask. Load it with -m or\n"
                 "         File > Load Mask.\n"
                 "pyramid  writes an OME-Zarr pyramid (NGFF 0.4, Zarr version 2) of IN: level 0\n"
                 "         the volume, each further level half the one before along each\n"
                 "         axis (the mean of 2 x 2 x 2 voxels), until a level fits one chunk\n"
                 "         or L levels are made. --chunk: chunk edge in voxels (default 64);\n"
                 "         --compressor blosc (lz4, the default), zstd, zlib, gzip or none.\n"
                 "         zvf, description and raw files and Zarr arrays are read slab by\n"
                 "         slab; other formats whole, only when they fit the memory limit\n"
                 "         (--memory MB, default half the memory available). Several bands\n"
                 "         become a channel axis. OUT must not exist or be empty.\n");
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "zvftool: %s\n", message.c_str());
    return 1;
}

const char* typeLabel(int dtype)
{
    static const char* const labels[] = {"zvfUCharType", "zvfCharType",  "zvfUInt12Type", "zvfUInt16Type",
                                         "zvfInt16Type", "zvfIntHUType", "zvfUInt32Type", "zvfInt32Type",
                                         "zvfFloatType", "zvfDoubleType"};
    return dtype >= 1 && dtype <= 10 ? labels[dtype - 1] : "unknown";
}

float mean(const float* values, int n, float fallback)
{
    if (!values || n <= 0)
        return fallback;
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += values[i];
    return static_cast<float>(sum / n);
}

int cmdInfo(const std::string& path)
{
    zvfHeader h;
    std::memset(&h, 0, sizeof h);
    FILE* f = zvfReadHeader(path.c_str(), &h);
    if (!f) {
        int code = zvfLastError;
        zvfFreeHeader(&h);
        zvfFreeHdrTF(&h);
        return fail(path + ": " + zvfErrorText[code]);
    }
    std::fclose(f);
    // the spacing of each axis; rectilinear grids give their mean spacing
    float sx = h.px, sy = h.py, sz = h.pz;
    if (h.vtype == zvfRectZ)
        sz = mean(h.rz, h.vdim[2], 1.0f);
    if (h.vtype == zvfRectXYZ) {
        sx = mean(h.rx, h.vdim[0], 1.0f);
        sy = mean(h.ry, h.vdim[1], 1.0f);
        sz = mean(h.rz, h.vdim[2], 1.0f);
    }
    // the box proportions, as Volume::setBoxProportions makes them
    const double wx = double(h.vdim[0]) * sx;
    std::printf("Data file name:\t%s\n", baseName(path).c_str());
    std::printf("Resolution:\t%d %d %d\n", h.vdim[0], h.vdim[1], h.vdim[2]);
    std::printf("Ratio:\t\t%f %f %f\n", 1.0f, static_cast<float>(h.vdim[1] * double(sy) / wx),
                static_cast<float>(h.vdim[2] * double(sz) / wx));
    std::printf("Data type:\t%s\n", typeLabel(h.dtype));
    std::printf("Grid type:\t\t%s\n", zvfGridTypeName(h.vtype));
    std::printf("Units:\t\t%s\n", zvfUnitName(h.units));
    std::printf("Endian type:\t%s\n", zvfEndianName(h.endian));
    std::printf("Number of bands:\t%d\n", h.nbands);
    std::printf("Version:\t%d.%d\n", h.major, h.minor);
    std::printf("Spacing:\t%f %f %f\n", sx, sy, sz);
    std::printf("Transfer functions:\t%d\n", h.tfnum);
    std::printf("Comment:\n");
    for (int i = 0; i < h.ncomments; ++i)
        std::printf("%s\n", h.comments[i]);
    zvfFreeHeader(&h);
    zvfFreeHdrTF(&h);
    return 0;
}

// zvf type code of a description-file name or a zvf keyword; 0 if unknown.
// Writes grid under h to out and frees h's arrays: 0 when written, else the
// exit status (the library has written its one-line message, or one here).
int writeZvf(const std::string& out, const void* grid, zvfHeader* h)
{
    FILE* o = std::fopen(out.c_str(), "wb");
    if (!o) {
        zvfFreeHeader(h);
        return fail(out + ": " + std::strerror(errno));
    }
    const int ok = zvfWriteGridStream(o, grid, h);
    zvfFreeHeader(h);
    if (std::fclose(o) != 0 && ok)
        return fail(out + ": write error");
    return ok ? 0 : 1;
}

int typeFromWord(const std::string& word)
{
    static const struct { const char* name; int code; } names[] = {
        {"UCHAR", zvfUChar}, {"CHAR", zvfChar}, {"USHORT", zvfUInt16}, {"SHORT", zvfInt16},
        {"UINT", zvfUInt32}, {"INT", zvfInt32}, {"FLOAT", zvfFloat},   {"DOUBLE", zvfDouble}};
    for (const auto& n : names)
        if (word == n.name)
            return n.code;
    for (int code = 1; code <= 10; ++code)
        if (word == zvfDataTypeName(code))
            return code;
    return 0;
}

struct RawSource
{
    std::string rawPath;
    int size[3] = {0, 0, 0};
    float spacing[3] = {1.0f, 1.0f, 1.0f};
    int dtype = 0;
    int channels = 1;
    bool bigEndian = false;
    // A description file that does not say: the loader's rule picks the
    // order once the values are read.
    bool guessOrder = false;
};

// A description file (.dat keys), read by the loader's parser: keys in any
// order, lines beginning with '#' and unknown keys skipped.
bool readDescriptionFile(const std::string& path, RawSource* src, std::string* error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && text.size() < (size_t(1) << 20))
        text.append(chunk, got);
    std::fclose(f);
    Description d;
    std::string key;
    switch (parseDescription(text, &d, &key)) {
    case DescriptionError::None:
        break;
    case DescriptionError::MissingKey:
        *error = path + ": not a description file (ObjectFileName, Resolution and Format needed)";
        return false;
    case DescriptionError::BadChannels:
        *error = path + ": Not supported number of channels in dataset";
        return false;
    case DescriptionError::WordTooLong:
        *error = path + ": the word after " + key + " is too long";
        return false;
    case DescriptionError::BadValue:
        *error = path + ": the value of " + key + " is unreadable";
        return false;
    case DescriptionError::BadByteOrder:
        *error = path + ": " + key + " must be little or big";
        return false;
    }
    src->dtype = typeFromWord(d.format);
    if (!src->dtype) {
        *error = path + ": unknown Format " + d.format;
        return false;
    }
    for (int a = 0; a < 3; ++a) {
        src->size[a] = d.resolution[a];
        src->spacing[a] = d.sliceThickness[a];
    }
    src->channels = d.nbrChannels;
    src->rawPath = rawFilePath(path, d.objectFileName);
    src->bigEndian = d.byteOrder != RawByteOrder::Little;
    src->guessOrder = d.byteOrder == RawByteOrder::Unstated;
    return true;
}

bool parseInt(const char* text, int* value)
{
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 1 || v > 1 << 30)
        return false;
    *value = static_cast<int>(v);
    return true;
}

bool parseFloat(const char* text, float* value)
{
    char* end = nullptr;
    float v = std::strtof(text, &end);
    if (!*text || *end || !(v > 0.0f))
        return false;
    *value = v;
    return true;
}

// The OpenGL element type that holds the values of a zvf type; 0 for
// types without one (double).
VoxelType glTypeOfZvf(int dtype)
{
    switch (dtype) {
    case zvfUChar: return VOXEL_UCHAR;
    case zvfChar: return VOXEL_CHAR;
    case zvfUInt12:
    case zvfUInt16: return VOXEL_USHORT;
    case zvfInt16:
    case zvfIntHU: return VOXEL_SHORT;
    case zvfUInt32: return VOXEL_UINT;
    case zvfInt32: return VOXEL_INT;
    case zvfFloat: return VOXEL_FLOAT;
    default: return 0;
    }
}

// The raw file of src as planar bands in the machine's byte order.
bool readRawGrid(const RawSource& src, std::vector<unsigned char>* grid, std::string* error)
{
    const int size = zvfVoxelSize(src.dtype);
    if (size <= 0 || src.size[0] <= 0 || src.size[1] <= 0 || src.size[2] <= 0 || src.channels <= 0) {
        *error = "incorrect volume dimensions";
        return false;
    }
    const unsigned long long voxels = 1ull * src.size[0] * src.size[1] * src.size[2];
    const unsigned long long need = voxels * src.channels * size;
    if (need / voxels / size != static_cast<unsigned>(src.channels) || need > (1ull << 40)) {
        *error = "incorrect volume dimensions";
        return false;
    }
    FILE* f = std::fopen(src.rawPath.c_str(), "rb");
    if (!f) {
        *error = src.rawPath + ": " + std::strerror(errno);
        return false;
    }
    std::vector<unsigned char> raw;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long length = std::ftell(f);
        if (length >= 0 && static_cast<unsigned long long>(length) < need) {
            std::fclose(f);
            *error = src.rawPath + ": raw file too short (" + std::to_string(length) + " of " +
                     std::to_string(need) + " bytes)";
            return false;
        }
        std::fseek(f, 0, SEEK_SET);
    }
    try {
        raw.resize(need);
        grid->resize(need);
    } catch (const std::bad_alloc&) {
        std::fclose(f);
        *error = "not enough memory for " + std::to_string(need) + " bytes";
        return false;
    }
    size_t got = std::fread(raw.data(), 1, raw.size(), f);
    std::fclose(f);
    if (got < raw.size()) {
        *error = src.rawPath + ": raw file too short";
        return false;
    }

    bool bigEndianValues = src.bigEndian;
    if (src.guessOrder && size > 1) {
        const int dims[3] = {src.size[0], src.size[1], src.size[2]};
        const VoxelType type = glTypeOfZvf(src.dtype);
        if (type && looksLittleEndian(raw.data(), type, dims, src.channels)) {
            bigEndianValues = false;
            std::printf("Raw data read as little-endian (smoother than big-endian).\n");
        }
    }
    // interleaved channels to planar bands, into the machine's byte order
    const bool swap = size > 1 && (bigEndianValues ? zvfBigEndian : zvfLittleEndian) != zvfMachineEndian();
    for (int b = 0; b < src.channels; ++b)
        for (unsigned long long v = 0; v < voxels; ++v) {
            unsigned char* dst = grid->data() + (b * voxels + v) * size;
            std::memcpy(dst, raw.data() + (v * src.channels + b) * size, size);
            if (swap)
                SwapOrder(dst, size);
        }
    return true;
}

// A volume as the program reads it, written as zvf; the bands of a voxel
// become zvf bands.
int writeVolumeFile(VolumeFile& v, const std::string& in, const std::string& out)
{
    int dtype = 0;
#define ZVFTOOL_ZVF_CODE(name, code, gl, ctype) \
    if (v.type == gl) dtype = code;
    GLIMRA_VOXEL_TYPES(ZVFTOOL_ZVF_CODE)
#undef ZVFTOOL_ZVF_CODE
    const size_t size = static_cast<size_t>(bytesOfVoxelType(v.type));
    const size_t voxels = static_cast<size_t>(v.resolution[0]) * v.resolution[1] * v.resolution[2];
    const size_t bands = static_cast<size_t>(v.bands);
    std::vector<unsigned char> grid;
    try {
        grid.resize(voxels * bands * size);
    } catch (const std::bad_alloc&) {
        v.release();
        return fail("not enough memory for " + std::to_string(voxels * bands * size) + " bytes");
    }
    const unsigned char* src = static_cast<const unsigned char*>(v.data);
    if (v.bandMajor)
        std::memcpy(grid.data(), src, grid.size());
    else
        for (size_t b = 0; b < bands; ++b)
            for (size_t i = 0; i < voxels; ++i)
                std::memcpy(grid.data() + (b * voxels + i) * size, src + (i * bands + b) * size, size);
    zvfHeader h = zvfCubicHeader(v.resolution[0], v.resolution[1], v.resolution[2], dtype, v.bands);
    h.px = v.spacing[0];
    h.py = v.spacing[1];
    h.pz = v.spacing[2];
    if (h.px != h.py || h.px != h.pz)
        h.vtype = zvfRegular;
    v.release();
    zvfAddHdrComment(&h, ("converted by zvftool from " + baseName(in)).c_str());
    return writeZvf(out, grid.data(), &h);
}

// A volume of another program's format, converted as the program opens it
// (in a child process, as the program reads them).
int convertForeign(const std::string& in, const std::string& out)
{
    VolumeFile v;
    std::string error;
    if (!readInChild(
            in, [&in](VolumeFile* read, std::string* why) { return importForeignVolume(in, read, why); }, &v, &error))
        return fail(error);
    return writeVolumeFile(v, in, out);
}

// The coarsest level of a Zarr pyramid, as the program opens it.
int convertZarr(const std::string& in, const std::string& out)
{
    VolumeFile v;
    std::string error;
    if (!readVolume(in, &v, &error))
        return fail(error);
    return writeVolumeFile(v, in, out);
}

int cmdConvert(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        std::fprintf(stderr, "zvftool: convert needs IN and OUT (zvftool --help)\n");
        return 2;
    }
    const std::string in = args[0], out = args[1];
    if (args.size() == 2 && detectFormat(in) == FileFormat::Foreign)
        return convertForeign(in, out);
    if (args.size() == 2 && detectFormat(in) == FileFormat::Zarr)
        return convertZarr(in, out);
    RawSource src;
    bool haveSize = false, haveType = false, bigEndian = false, littleEndian = false, haveSpacing = false;
    int bands = 1;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto need = [&](size_t n) { return i + n < args.size(); };
        if (a == "--size" && need(3)) {
            for (int k = 0; k < 3; ++k)
                if (!parseInt(args[i + 1 + k].c_str(), &src.size[k]))
                    return fail("--size needs three positive integers");
            haveSize = true;
            i += 3;
        } else if (a == "--type" && need(1)) {
            src.dtype = typeFromWord(args[++i]);
            if (!src.dtype)
                return fail("unknown voxel type " + args[i]);
            haveType = true;
        } else if (a == "--bands" && need(1)) {
            if (!parseInt(args[++i].c_str(), &bands))
                return fail("--bands needs a positive integer");
        } else if (a == "--spacing" && need(3)) {
            for (int k = 0; k < 3; ++k)
                if (!parseFloat(args[i + 1 + k].c_str(), &src.spacing[k]))
                    return fail("--spacing needs three positive numbers");
            haveSpacing = true;
            i += 3;
        } else if (a == "--big-endian") {
            bigEndian = true;
        } else if (a == "--little-endian") {
            littleEndian = true;
        } else {
            return fail("unknown or incomplete option " + a);
        }
    }
    if (bigEndian && littleEndian)
        return fail("--big-endian and --little-endian exclude each other");
    std::string error;
    if (haveSize || haveType) {
        if (!haveSize || !haveType)
            return fail("a raw file needs --size X Y Z and --type NAME");
        src.rawPath = in;
        src.channels = bands;
        src.bigEndian = bigEndian;
    } else {
        if (haveSpacing || bands != 1)
            return fail("--bands and --spacing belong to a raw file (give --size and --type)");
        if (!readDescriptionFile(in, &src, &error))
            return fail(error);
        if (bigEndian || littleEndian) {
            src.bigEndian = bigEndian;
            src.guessOrder = false;
        }
    }

    std::vector<unsigned char> grid;
    if (!readRawGrid(src, &grid, &error))
        return fail(error);

    zvfHeader h = zvfCubicHeader(src.size[0], src.size[1], src.size[2], src.dtype, src.channels);
    h.px = src.spacing[0];
    h.py = src.spacing[1];
    h.pz = src.spacing[2];
    if (h.px != h.py || h.px != h.pz)
        h.vtype = zvfRegular;
    zvfAddHdrComment(&h, ("converted by zvftool from " + baseName(in)).c_str());
    return writeZvf(out, grid.data(), &h);
}

bool parseThreshold(const std::string& text, double* value)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

std::string number(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// The values of a volume file in the machine's byte order (bands planar), its
// type, and a header that carries its resolution, grid and spacing.
struct SourceGrid
{
    void* zvfData = nullptr;          // the grid of a zvf file (the library's buffer)
    std::vector<unsigned char> raw;   // the grid of a description file's raw file
    int dtype = 0;                    // zvf voxel type
    zvfHeader header;                 // resolution, grid type, spacing, units (owns its arrays)
    SourceGrid() { std::memset(&header, 0, sizeof header); }
    ~SourceGrid()
    {
        std::free(zvfData);
        zvfFreeHeader(&header);
        zvfFreeHdrTF(&header);
    }
    SourceGrid(const SourceGrid&) = delete;
    SourceGrid& operator=(const SourceGrid&) = delete;
    const void* values() const { return zvfData ? zvfData : raw.data(); }
};

// False with *error empty when the format library has already said why.
bool readSourceGrid(const std::string& path, SourceGrid* grid, std::string* error)
{
    if (detectFormat(path) == FileFormat::Zvf) {
        if (!zvfReadGrid(path.c_str(), &grid->zvfData, &grid->header) || !grid->zvfData) {
            error->clear();
            return false;
        }
        grid->dtype = grid->header.dtype;
        return true;
    }
    RawSource src;
    if (!readDescriptionFile(path, &src, error) || !readRawGrid(src, &grid->raw, error))
        return false;
    grid->dtype = src.dtype;
    grid->header = zvfCubicHeader(src.size[0], src.size[1], src.size[2], src.dtype, src.channels);
    grid->header.px = src.spacing[0];
    grid->header.py = src.spacing[1];
    grid->header.pz = src.spacing[2];
    if (src.spacing[0] != src.spacing[1] || src.spacing[0] != src.spacing[2])
        grid->header.vtype = zvfRegular;
    return true;
}

// A copy of n floats for the mask's header, or null.
float* copySpacings(const float* values, int n)
{
    if (!values || n <= 0)
        return nullptr;
    float* copy = static_cast<float*>(std::malloc(sizeof(float) * n));
    if (copy)
        std::memcpy(copy, values, sizeof(float) * n);
    return copy;
}

int cmdMask(const std::vector<std::string>& args)
{
    std::vector<std::string> words;
    int grow = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        // Options begin with "--": a threshold may be negative.
        if (args[i] == "--grow") {
            char* end = nullptr;
            const long v = i + 1 < args.size() ? std::strtol(args[i + 1].c_str(), &end, 10) : -1;
            if (i + 1 >= args.size() || args[i + 1].empty() || *end || v < 0 || v > kMaxMaskGrowth)
                return fail("--grow needs a number of voxels from 0 to " + std::to_string(kMaxMaskGrowth));
            grow = static_cast<int>(v);
            ++i;
        } else if (args[i].compare(0, 2, "--") == 0) {
            return fail("unknown or incomplete option " + args[i]);
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.size() != 3 && words.size() != 4) {
        std::fprintf(stderr, "zvftool: mask needs IN LOW [HIGH] OUT.zvf (zvftool --help)\n");
        return 2;
    }
    const std::string in = words[0], out = words.back();
    double low = 0, high = 0;
    if (!parseThreshold(words[1], &low))
        return fail("threshold " + words[1] + " is not a number");
    if (words.size() == 4 && !parseThreshold(words[2], &high))
        return fail("threshold " + words[2] + " is not a number");

    SourceGrid grid;
    std::string error;
    if (!readSourceGrid(in, &grid, &error))
        return error.empty() ? 1 : fail(error);
    const VoxelType type = glTypeOfZvf(grid.dtype);
    if (!type)
        return fail(in + ": " + zvfDataTypeName(grid.dtype) + " values cannot be thresholded");
    double lowest = 0, highest = 0;
    voxelTypeRange(type, &lowest, &highest);
    if (words.size() == 3)
        high = highest;
    for (double t : {low, high})
        if (t < lowest || t > highest)
            return fail("threshold " + number(t) + " is outside the range of " +
                        zvfDataTypeName(grid.dtype) + " values (" + number(lowest) + " to " +
                        number(highest) + ")");
    if (low > high)
        return fail("LOW " + number(low) + " is above HIGH " + number(high));

    const zvfHeader& src = grid.header;
    const int dims[3] = {src.vdim[0], src.vdim[1], src.vdim[2]};
    const size_t voxels = size_t(dims[0]) * dims[1] * dims[2];
    std::vector<unsigned char> mask;
    try {
        mask.resize(voxels);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for " + std::to_string(voxels) + " bytes");
    }
    // The first band only: the bytes begin with it.
    thresholdMask(grid.values(), type, voxels, low, high, mask.data());
    if (!growMask(mask.data(), dims, grow))
        return fail("not enough memory to grow the mask");
    size_t inside = 0;
    for (unsigned char v : mask)
        inside += v != 0;

    zvfHeader h = zvfCubicHeader(dims[0], dims[1], dims[2], zvfUChar, 1);
    h.vtype = src.vtype;
    h.px = src.px;
    h.py = src.py;
    h.pz = src.pz;
    h.units = src.units;
    h.rx = copySpacings(src.rx, dims[0]);
    h.ry = copySpacings(src.ry, dims[1]);
    h.rz = copySpacings(src.rz, dims[2]);
    std::string comment = "mask of " + baseName(in) + ": values " + number(low) + " to " + number(high);
    if (grow > 0)
        comment += ", grown by " + std::to_string(grow);
    zvfAddHdrComment(&h, comment.c_str());
    const int status = writeZvf(out, mask.data(), &h);
    if (status != 0)
        return status;
    std::printf("%zu of %zu voxels in the mask\n", inside, voxels);
    return 0;
}

int cmdSample(const std::string& name, const std::string& out)
{
    SampleVolume v;
    if (!makeSampleVolume(name, &v))
        return fail("unknown sample " + name + " (see zvftool --help)");
    if (!writeSampleVolume(v, out))
        return 1; // the library has written its one-line message
    return 0;
}

// ---- pyramids ----

// The options of pyramid and of a sample pyramid.
struct PyramidArgs
{
    PyramidOptions options;        // chunk, levels, compressor
    uint64_t memoryLimit = 0;      // bytes; 0: half the memory available
    std::vector<std::string> words; // IN and OUT (NAME and OUT for a sample)
    RawLayout raw;                 // a raw IN, described here
    bool haveSize = false, haveType = false, haveSpacing = false, haveBands = false;
    bool bigEndian = false, littleEndian = false;
};

bool compressorFromWord(const std::string& word, ZarrCompressor* out)
{
    ZarrCompressor c;
    if (word == "blosc")
        c = {ZarrCodec::Blosc, "lz4", 5, 1};
    else if (word == "zstd")
        c = {ZarrCodec::Zstd, "", 3, 0};
    else if (word == "zlib" || word == "gzip")
        c = {word == "zlib" ? ZarrCodec::Zlib : ZarrCodec::Gzip, "", 1, 0};
    else if (word == "none")
        c = {ZarrCodec::None, "", 0, 0};
    else
        return false;
    *out = c;
    return true;
}

// The program's type of a type word in any case ("ushort", "UCHAR" ...); 0 if none.
VoxelType programTypeFromWord(std::string word)
{
    for (char& c : word)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return glTypeOfZvf(typeFromWord(word));
}

// One option of a raw IN or a sample at args[*i] (moving *i past its
// values); "" when read, else the fault.
std::string parseShapeOption(const std::vector<std::string>& args, size_t* i, bool sample, PyramidArgs* out)
{
    const std::string& a = args[*i];
    const size_t left = args.size() - *i - 1;
    if (a == "--size" && sample && left >= 1) {
        if (!parseInt(args[++*i].c_str(), &out->raw.size[0]))
            return "--size needs a positive integer";
        out->raw.size[1] = out->raw.size[2] = out->raw.size[0];
        out->haveSize = true;
    } else if (a == "--size" && !sample && left >= 3) {
        for (int k = 0; k < 3; ++k)
            if (!parseInt(args[++*i].c_str(), &out->raw.size[k]))
                return "--size needs three positive integers";
        out->haveSize = true;
    } else if (a == "--type" && left >= 1) {
        out->raw.type = programTypeFromWord(args[++*i]);
        if (!out->raw.type)
            return "unknown voxel type " + args[*i] + " (UCHAR CHAR USHORT SHORT UINT INT FLOAT)";
        out->haveType = true;
    } else if (a == "--bands" && !sample && left >= 1) {
        if (!parseInt(args[++*i].c_str(), &out->raw.channels))
            return "--bands needs a positive integer";
        out->haveBands = true;
    } else if (a == "--spacing" && !sample && left >= 3) {
        for (int k = 0; k < 3; ++k)
            if (!parseFloat(args[++*i].c_str(), &out->raw.spacing[k]))
                return "--spacing needs three positive numbers";
        out->haveSpacing = true;
    } else if ((a == "--big-endian" || a == "--little-endian") && !sample) {
        (a == "--big-endian" ? out->bigEndian : out->littleEndian) = true;
    } else {
        return "unknown or incomplete option " + a;
    }
    return std::string();
}

// The command line of pyramid (sample: of a sample pyramid) after the command.
std::string parsePyramidArgs(const std::vector<std::string>& args, bool sample, PyramidArgs* out)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool more = i + 1 < args.size();
        int n = 0;
        if (a.compare(0, 2, "--") != 0) {
            out->words.push_back(a);
        } else if (a == "--chunk" && more) {
            if (!parseInt(args[++i].c_str(), &n) || n < kMinPyramidChunk || n > kMaxPyramidChunk)
                return "--chunk needs a number from 2 to 1024";
            out->options.chunk = n;
        } else if (a == "--levels" && more) {
            if (!parseInt(args[++i].c_str(), &n) || n > kZarrMaxLevels)
                return "--levels needs a number from 1 to 32";
            out->options.maxLevels = n;
        } else if (a == "--compressor" && more) {
            if (!compressorFromWord(args[++i], &out->options.compressor))
                return "--compressor needs blosc, zstd, zlib, gzip or none";
        } else if (a == "--memory" && more) {
            if (!parseInt(args[++i].c_str(), &n))
                return "--memory needs a positive number of megabytes";
            out->memoryLimit = static_cast<uint64_t>(n) << 20;
        } else {
            const std::string fault = parseShapeOption(args, &i, sample, out);
            if (!fault.empty())
                return fault;
        }
    }
    if (out->bigEndian && out->littleEndian)
        return "--big-endian and --little-endian exclude each other";
    return std::string();
}

std::string megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20);
}

// Writes the pyramid of source to out within the memory limit, with the
// share done on a terminal's standard error and the levels at the end.
int buildPyramid(VolumeSlabs& source, const std::string& out, const PyramidArgs& args)
{
    const uint64_t limit = args.memoryLimit ? args.memoryLimit : availableMemory() / 2;
    const uint64_t need = pyramidWorkingBytes(source.resolution, source.bands, source.type, args.options);
    if (limit && need > limit)
        return fail("the pyramid needs about " + megabytes(need) + " MB while it is built, more than the memory limit of " +
                    megabytes(limit) + " MB (a smaller --chunk needs less)");
    if (!source.note.empty())
        std::printf("%s\n", source.note.c_str());
    PyramidOptions options = args.options;
    int shown = -1;
    if (isatty(2))
        options.progress = [&shown](double done) {
            const int percent = static_cast<int>(done * 100.0);
            if (percent != shown)
                std::fprintf(stderr, "\rzvftool: %3d%%", shown = percent);
        };
    std::string why;
    const bool ok = writePyramid(source, out, options, &why);
    if (shown >= 0)
        std::fprintf(stderr, "\n");
    if (!ok)
        return fail(why);
    const auto levels = pyramidResolutions(source.resolution, options.chunk, options.maxLevels);
    std::printf("%s: %zu levels\n", out.c_str(), levels.size());
    for (size_t i = 0; i < levels.size(); ++i)
        std::printf("  level %zu: %d %d %d\n", i, levels[i][0], levels[i][1], levels[i][2]);
    return 0;
}

int cmdPyramid(const std::vector<std::string>& argv)
{
    PyramidArgs args;
    const std::string fault = parsePyramidArgs(argv, false, &args);
    if (!fault.empty())
        return fail(fault);
    if (args.words.size() != 2) {
        std::fprintf(stderr, "zvftool: pyramid needs IN and OUT.zarr (zvftool --help)\n");
        return 2;
    }
    std::string why;
    std::unique_ptr<VolumeSlabs> source;
    if (args.haveSize || args.haveType) {
        if (!args.haveSize || !args.haveType)
            return fail("a raw file needs --size X Y Z and --type NAME");
        args.raw.path = args.words[0];
        args.raw.order = args.bigEndian ? RawByteOrder::Big : RawByteOrder::Little;
        source = openRawSlabs(args.raw, &why);
    } else {
        if (args.haveSpacing || args.haveBands || args.bigEndian || args.littleEndian)
            return fail("--bands, --spacing and the byte order belong to a raw file (give --size and --type)");
        const uint64_t limit = args.memoryLimit ? args.memoryLimit : availableMemory() / 2;
        source = openVolumeSlabs(args.words[0], limit, &why);
    }
    if (!source)
        return fail(why);
    return buildPyramid(*source, args.words[1], args);
}

int cmdSamplePyramid(const std::vector<std::string>& argv)
{
    PyramidArgs args;
    const std::string fault = parsePyramidArgs(argv, true, &args);
    if (!fault.empty())
        return fail(fault);
    if (args.words.size() != 2) {
        std::fprintf(stderr, "zvftool: sample needs NAME and OUT (zvftool --help)\n");
        return 2;
    }
    const std::string& name = args.words[0];
    const std::string& out = args.words[1];
    if (out.size() < 5 || out.compare(out.size() - 5, 5, ".zarr") != 0)
        return fail("a sample of some size is a pyramid: OUT must end in .zarr");
    int size[3] = {160, 160, 128};
    if (name == "multiband")
        size[0] = size[1] = 96, size[2] = 64;
    if (args.haveSize)
        std::copy(args.raw.size, args.raw.size + 3, size);
    SampleGrid grid;
    std::string why;
    const VoxelType type = args.haveType ? args.raw.type : name == "phantom" ? VOXEL_USHORT : VOXEL_UCHAR;
    if (!sampleGrid(name, size, type, &grid, &why))
        return fail(why);
    std::unique_ptr<VolumeSlabs> source = sampleSlabs(grid);
    return buildPyramid(*source, out, args);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fprintf(stderr, "zvftool: no command (zvftool --help lists them)\n");
        return 2;
    }
    const std::string cmd = args[0];
    if (cmd == "-h" || cmd == "--help" || cmd == "help") {
        usage(stdout);
        return 0;
    }
    if (cmd == "info" && args.size() == 2)
        return cmdInfo(args[1]);
    if (cmd == "convert")
        return cmdConvert(std::vector<std::string>(args.begin() + 1, args.end()));
    if (cmd == "mask")
        return cmdMask(std::vector<std::string>(args.begin() + 1, args.end()));
    const bool zarr = args.size() >= 3 && args[2].size() >= 5 && args[2].compare(args[2].size() - 5, 5, ".zarr") == 0;
    if (cmd == "sample" && args.size() == 3 && !zarr)
        return cmdSample(args[1], args[2]);
    if (cmd == "sample" && args.size() >= 3)
        return cmdSamplePyramid(std::vector<std::string>(args.begin() + 1, args.end()));
    if (cmd == "pyramid")
        return cmdPyramid(std::vector<std::string>(args.begin() + 1, args.end()));
    std::fprintf(stderr, "zvftool: unknown command or wrong arguments (zvftool --help)\n");
    return 2;
}
