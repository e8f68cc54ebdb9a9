// OME-Zarr pyramids (NGFF 0.4 on Zarr version 2 arrays): the "multiscales"
// metadata of a pyramid's .zattrs and the .zarray of each level, read with
// bounds. Every count, size, string and name a file may declare is limited
// or taken from a list; a file that breaks a rule is refused with its path
// and the fault.
#ifndef GLIMRA_ZARR_METADATA_H
#define GLIMRA_ZARR_METADATA_H

#include "voxel_types.h"

#include <cstdint>
#include <string>
#include <vector>

// Most axes an array may have: time, channel, z, y, x.
const int kZarrMaxAxes = 5;
// Largest chunk, decompressed.
const uint64_t kZarrMaxChunkBytes = uint64_t(64) << 20;
// Most levels of a pyramid.
const int kZarrMaxLevels = 32;
// Largest .zattrs or .zarray file, and deepest nesting of its JSON.
const size_t kZarrMaxMetadataBytes = size_t(1) << 20;
const int kZarrMaxJsonDepth = 32;
// Longest space axis, most channels, longest time axis and any other axis.
const int64_t kZarrMaxSpaceAxis = int64_t(1) << 20;
const int64_t kZarrMaxChannels = 1024;
const int64_t kZarrMaxAxisLength = (int64_t(1) << 31) - 1;
// Longest dataset path, axis name and unit.
const size_t kZarrMaxPathLength = 255;
const size_t kZarrMaxNameLength = 64;

// How chunks are compressed.
enum class ZarrCodec { None, Blosc, Zlib, Gzip, Zstd };

// The "compressor" of a .zarray.
struct ZarrCompressor
{
    ZarrCodec codec = ZarrCodec::None;
    std::string blosc = "lz4"; // blosc's inner codec: blosclz, lz4, lz4hc, zlib or zstd
    int level = 5;             // compression level as written
    int shuffle = 1;           // blosc: 0 none, 1 bytes, 2 bits, -1 bytes unless one-byte values
};

// What stored values are.
enum class ZarrKind { Unsigned, Signed, Float };

// One Zarr array: a level of a pyramid.
struct ZarrArray
{
    int axes = 0;                          // stored axes, 1 ... kZarrMaxAxes
    int64_t shape[kZarrMaxAxes] = {};      // values along each stored axis, slowest first
    int64_t chunks[kZarrMaxAxes] = {};     // chunk shape along each stored axis
    std::string dtype;                     // as written, e.g. "<u2"
    ZarrKind kind = ZarrKind::Unsigned;    // what the stored values are
    int itemBytes = 1;                     // bytes per stored value
    bool bigEndian = false;                // stored most significant byte first
    VoxelType type = VOXEL_UCHAR;          // the program's type the values are read as
    double fill = 0.0;                     // value of missing chunks (NaN allowed for floats)
    char separator = '.';                  // between the indices of a chunk's key
    ZarrCompressor compressor;             // of every chunk

    // Values in one chunk and their bytes as stored (bounded by the parser).
    uint64_t chunkValues() const;
    uint64_t chunkBytes() const { return chunkValues() * static_cast<uint64_t>(itemBytes); }
};

// One level of a pyramid.
struct ZarrLevel
{
    std::string path;                         // folder of its array, relative to the pyramid
    double scale[kZarrMaxAxes] = {1, 1, 1, 1, 1};       // size of a voxel along each stored axis
    double translation[kZarrMaxAxes] = {0, 0, 0, 0, 0}; // where voxel 0 lies
    ZarrArray array;                          // its .zarray
};

// A pyramid: the axes all levels share and the levels, finest first.
struct ZarrPyramid
{
    std::string root;                       // the pyramid's folder
    std::string version;                    // NGFF version; empty for a plain Zarr array
    std::string name;                       // the multiscale's name, if any
    int axes = 0;                           // stored axes of every level
    std::string axisName[kZarrMaxAxes];     // e.g. "z"
    std::string axisUnit[kZarrMaxAxes];     // e.g. "micrometer"; empty when not given
    int timeAxis = -1;                      // stored index of the time axis, -1 without
    int channelAxis = -1;                   // stored index of the channel (or custom) axis, -1 without
    int spaceAxes = 3;                      // 2 or 3: the last axes, x last
    std::vector<ZarrLevel> levels;          // finest first

    // The stored axis of x (0), y (1) or z (2); -1 for z of a 2-D image.
    int spaceAxis(int xyz) const;
    // Voxels along x, y and z of a level (z is 1 for a 2-D image).
    void resolution(int level, int64_t xyz[3]) const;
    // Channels of a level (1 without a channel axis) and time points.
    int64_t channels(int level) const;
    int64_t timePoints(int level) const;
    // The level with the fewest voxels (the last when several tie).
    int coarsest() const;
};

// Reads the text of a .zarray into *out. False with *why = "FILE: fault".
bool parseZarrArray(const std::string& text, const std::string& file, ZarrArray* out, std::string* why);

// Reads the first "multiscales" entry of a .zattrs: axes, dataset paths and
// their scales (the arrays themselves are read by openZarrPyramid); out->root
// is kept. False with *why = "FILE: fault"; *plainGroup is set when the file
// is a JSON object without the key (a group, not a damaged image).
bool parseMultiscales(const std::string& text, const std::string& file, ZarrPyramid* out, std::string* why,
                      bool* plainGroup = nullptr);

// Checks what the levels' arrays declare against the axes and each other:
// every level has the pyramid's axes and dtype, space and channel axes
// within bounds. False with *why naming the level's .zarray.
bool checkPyramidLevels(ZarrPyramid* pyramid, std::string* why);

// Whether a path names a Zarr folder: a folder holding .zattrs, .zarray or
// zarr.json, a name ending in ".zarr", or a .zattrs, .zarray or .zgroup file.
bool isZarrPath(const std::string& path);
// The folder of such a path (the file's folder for the metadata files).
std::string zarrFolder(const std::string& path);

// Reads the pyramid at path (see isZarrPath): the multiscales of its .zattrs
// (or of the first image inside a bioformats2raw folder) and every level's
// .zarray; a folder holding one plain array is a pyramid of one level.
bool openZarrPyramid(const std::string& path, ZarrPyramid* out, std::string* why);

// The folder of a level's array (its chunks and .zarray).
std::string zarrLevelFolder(const ZarrPyramid& pyramid, int level);

// A string of a file made fit for a message: at most 40 characters, anything
// but printable ASCII as "?".
std::string zarrPrintable(const std::string& s);

#endif
