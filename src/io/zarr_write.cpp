#include "zarr_write.h"

#include "byte_order.h"
#include "file_facts.h"
#include "zarr_chunks.h"
#include "zarr_codec.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

using OrderedJson = nlohmann::ordered_json;

namespace {

OrderedJson compressorJson(const ZarrCompressor& c)
{
    switch (c.codec) {
    case ZarrCodec::Blosc:
        return {{"id", "blosc"}, {"cname", c.blosc}, {"clevel", c.level}, {"shuffle", c.shuffle}, {"blocksize", 0}};
    case ZarrCodec::Zlib: return {{"id", "zlib"}, {"level", c.level}};
    case ZarrCodec::Gzip: return {{"id", "gzip"}, {"level", c.level}};
    case ZarrCodec::Zstd: return {{"id", "zstd"}, {"level", c.level}};
    case ZarrCodec::None: break;
    }
    return nullptr;
}

OrderedJson axesJson(const ZarrPyramid& p)
{
    OrderedJson axes = OrderedJson::array();
    for (int a = 0; a < p.axes; ++a) {
        OrderedJson axis = {{"name", p.axisName[a]}};
        axis["type"] = a == p.timeAxis ? "time" : a == p.channelAxis ? "channel" : "space";
        if (!p.axisUnit[a].empty())
            axis["unit"] = p.axisUnit[a];
        axes.push_back(axis);
    }
    return axes;
}

OrderedJson datasetJson(const ZarrPyramid& p, const ZarrLevel& level)
{
    OrderedJson scale = OrderedJson::array(), shift = OrderedJson::array();
    bool shifted = false;
    for (int a = 0; a < p.axes; ++a) {
        scale.push_back(level.scale[a]);
        shift.push_back(level.translation[a]);
        shifted = shifted || level.translation[a] != 0.0;
    }
    OrderedJson transforms = OrderedJson::array({{{"type", "scale"}, {"scale", scale}}});
    if (shifted)
        transforms.push_back({{"type", "translation"}, {"translation", shift}});
    return {{"path", level.path}, {"coordinateTransformations", transforms}};
}

} // namespace

std::string zarrDtype(VoxelType type)
{
    const char order = hostBigEndian() ? '>' : '<';
    switch (type) {
    case VOXEL_UCHAR: return "|u1";
    case VOXEL_CHAR: return "|i1";
    case VOXEL_USHORT: return std::string(1, order) + "u2";
    case VOXEL_SHORT: return std::string(1, order) + "i2";
    case VOXEL_UINT: return std::string(1, order) + "u4";
    case VOXEL_INT: return std::string(1, order) + "i4";
    default: return std::string(1, order) + "f4";
    }
}

ZarrArray zarrArrayOf(VoxelType type, int axes, const int64_t shape[], const int64_t chunks[],
                      const ZarrCompressor& compressor)
{
    ZarrArray a;
    a.axes = axes;
    for (int i = 0; i < axes; ++i) {
        a.shape[i] = shape[i];
        a.chunks[i] = chunks[i];
    }
    a.dtype = zarrDtype(type);
    a.type = type;
    a.itemBytes = bytesOfVoxelType(type);
    a.kind = type == VOXEL_FLOAT ? ZarrKind::Float
             : (type == VOXEL_CHAR || type == VOXEL_SHORT || type == VOXEL_INT) ? ZarrKind::Signed
                                                                                : ZarrKind::Unsigned;
    a.bigEndian = hostBigEndian();
    a.separator = '/';
    a.compressor = compressor;
    return a;
}

std::string zarrArrayText(const ZarrArray& a)
{
    OrderedJson shape = OrderedJson::array(), chunks = OrderedJson::array();
    for (int i = 0; i < a.axes; ++i) {
        shape.push_back(a.shape[i]);
        chunks.push_back(a.chunks[i]);
    }
    OrderedJson j = {{"zarr_format", 2},   {"shape", shape},
                     {"chunks", chunks},   {"dtype", a.dtype},
                     {"compressor", compressorJson(a.compressor)},
                     {"fill_value", 0},    {"order", "C"},
                     {"filters", nullptr}, {"dimension_separator", std::string(1, a.separator)}};
    return j.dump(4) + "\n";
}

std::string zarrAttributesText(const ZarrPyramid& p)
{
    OrderedJson datasets = OrderedJson::array();
    for (const ZarrLevel& level : p.levels)
        datasets.push_back(datasetJson(p, level));
    OrderedJson image = {{"version", "0.4"}};
    if (!p.name.empty())
        image["name"] = p.name;
    image["axes"] = axesJson(p);
    image["datasets"] = datasets;
    image["type"] = "mean";
    image["metadata"] = {{"description", "each level the mean of 2 x 2 x 2 voxels of the one before (fewer at "
                                          "odd edges)"},
                         {"written by", "glimra zvftool"}};
    OrderedJson root = {{"multiscales", OrderedJson::array({image})}};
    return root.dump(4) + "\n";
}

bool makeZarrFolders(const std::string& path, std::string* why)
{
    if (path.empty() || isDirectory(path))
        return true;
    const std::string parent = directoryOf(path);
    if (parent != path && !makeZarrFolders(parent, why))
        return false;
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeZarrFile(const std::string& path, const void* bytes, size_t size, std::string* why)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *why = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) {
        *why = path + ": write error";
        return false;
    }
    return true;
}

bool writeZarrChunk(const ZarrPyramid& p, int level, const int64_t index[], const void* values,
                    std::vector<unsigned char>* scratch, std::string* why)
{
    const ZarrArray& a = p.levels[static_cast<size_t>(level)].array;
    const std::string key = chunkKey(a.axes, index, a.separator);
    const std::string path = zarrLevelFolder(p, level) + "/" + key;
    if (a.separator == '/' && !makeZarrFolders(directoryOf(path), why))
        return false;
    std::string fault;
    if (!encodeChunk(a.compressor, a.itemBytes, values, static_cast<size_t>(a.chunkBytes()), scratch, &fault)) {
        *why = path + ": " + fault;
        return false;
    }
    return writeZarrFile(path, scratch->data(), scratch->size(), why);
}
