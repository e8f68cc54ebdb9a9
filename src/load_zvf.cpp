// The zvf data reader of the load pipeline.
#include "load.h"

#include "error_handling.h"
#include "load_convert.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <zvf.h>

#include <cstdio>
#include <cstring>

namespace {

const char* dataTypeLabel(int dtype)
{
    switch (dtype) {
    case zvfUChar: return "zvfUCharType";
    case zvfChar: return "zvfCharType";
    case zvfUInt12: return "zvfUInt12Type";
    case zvfUInt16: return "zvfUInt16Type";
    case zvfInt16: return "zvfInt16Type";
    case zvfIntHU: return "zvfIntHUType";
    case zvfUInt32: return "zvfUInt32Type";
    case zvfInt32: return "zvfInt32Type";
    case zvfFloat: return "zvfFloatType";
    case zvfDouble: return "zvfDoubleType";
    default: return "";
    }
}

const char* gridTypeLabel(int vtype)
{
    switch (vtype) {
    case zvfCubic: return "zvfCubic";
    case zvfRegular: return "zvfRegular";
    case zvfRectZ: return "zvfRectZ";
    case zvfRectXYZ: return "zvfRectXYZ";
    default: return "";
    }
}

const char* unitLabel(int units)
{
    switch (units) {
    case zvfUum: return "zvfUum";
    case zvfUmm: return "zvfUmm";
    case zvfUm: return "zvfUm";
    default: return "";
    }
}

const char* endianLabel(int endian)
{
    switch (endian) {
    case zvfBigEndian: return "zvfBigEndian";
    case zvfLittleEndian: return "zvfLittleEndian";
    default: return "";
    }
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string formatFloat(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    return text;
}

// Band-major (all voxels of band 0, then band 1, ...) to voxel-major.
template <typename T> void interleave(const T* src, T* dst, size_t voxels, int bands)
{
    for (int b = 0; b < bands; ++b) {
        const T* s = src + static_cast<size_t>(b) * voxels;
        T* d = dst + b;
        for (size_t v = 0; v < voxels; ++v)
            d[v * bands] = s[v];
    }
}

} // namespace

bool readZvfData(const std::string& fileName, void** data, GLenum* type, Volume& volume,
                 std::string& info)
{
    zvfHeader header;
    std::memset(&header, 0, sizeof header);
    FILE* f = zvfReadHeader(fileName.c_str(), &header);
    if (!f) {
        // A damaged file fails this load; the program goes on.
        logBoth(__FILE__, __LINE__, "zvfReadHeader failed\n");
        const int code = zvfLastError;
        const char* text = (code >= 0 && code < zvfErrCount) ? zvfErrorText[code] : "";
        logBoth(__FILE__, __LINE__, (std::string(text ? text : "") + "\n").c_str());
        zvfFreeHeader(&header);
        zvfFreeHdrTF(&header);
        return false;
    }
    std::fclose(f);
    zvfFreeHeader(&header);
    zvfFreeHdrTF(&header);

    int nx = 0, ny = 0, nz = 0, nbands = 0, dtype = 0, ncomments = 0;
    char** comments = nullptr;
    if (!zvfReadCubGrid(fileName.c_str(), data, &nx, &ny, &nz, &nbands, &dtype, &comments,
                        &ncomments) ||
        !*data) {
        *data = nullptr;
        return false;
    }
    g_garbageCollector.add(*data, __FILE__, __LINE__, "tmpdata");
    volume.resolution[0] = nx;
    volume.resolution[1] = ny;
    volume.resolution[2] = nz;
    volume.nbrChannels = nbands;

    int bytes = 1;
    *type = typeFromZvf(dtype, &bytes);
    volume.setBoxProportions(header.px, header.py, header.pz);

    info.clear();
    info += "Data file name:\t" + baseName(fileName) + "\n";
    info += "Resolution:\t" + std::to_string(header.vdim[0]) + " " + std::to_string(header.vdim[1]) +
            " " + std::to_string(header.vdim[2]) + "\n";
    info += "Ratio:\t\t" + formatFloat(volume.extent[0]) + " " + formatFloat(volume.extent[1]) + " " +
            formatFloat(volume.extent[2]) + "\n";
    info += std::string("Data type:\t") + dataTypeLabel(dtype) + "\n";
    info += std::string("Grid type:\t\t") + gridTypeLabel(header.vtype) + "\n";
    info += std::string("Units:\t\t") + unitLabel(header.units) + "\n";
    info += std::string("Endian type:\t") + endianLabel(header.endian) + "\n";
    info += "Number of bands:\t" + std::to_string(volume.nbrChannels) + "\n";
    info += "Comment:\n";
    for (int i = 0; i < ncomments; ++i) {
        info += comments[i] ? comments[i] : "";
        info += "\n";
    }
    zvfFreeComments(comments, ncomments);

    if (volume.nbrChannels < 1) {
        volume.nbrChannels = 1;
        logBoth(__FILE__, __LINE__, "Not supported number of channels in dataset\n");
        return false;
    }
    if (volume.nbrChannels > 4) {
        logBoth(__FILE__, __LINE__, "Multi volume detected.\n");
        if (*type != GL_UNSIGNED_BYTE) {
            logBoth(__FILE__, __LINE__, "Not supported data type for multi volume.\n");
            return false;
        }
        if (!g_loadSeams.loadMultiVolume)
            return false;
        return g_loadSeams.loadMultiVolume(data, *type, volume);
    }
    if (volume.nbrChannels >= 2) {
        size_t voxels = 0, total = 0;
        if (!voxelCount(volume.resolution, volume.nbrChannels, bytes, &voxels, &total))
            return false;
        voxels /= static_cast<size_t>(volume.nbrChannels);
        void* tmpdata = nullptr;
        GUARDED_VOXELS_AS(tmpdata, "tmpdata", total);
        if (!tmpdata) {
            g_garbageCollector.remove(tmpdata);
            return false;
        }
        // Byte-wise by element size: the values are not touched.
        switch (bytes) {
        case 1:
            interleave(static_cast<const uint8_t*>(*data), static_cast<uint8_t*>(tmpdata), voxels,
                       volume.nbrChannels);
            break;
        case 2:
            interleave(static_cast<const uint16_t*>(*data), static_cast<uint16_t*>(tmpdata), voxels,
                       volume.nbrChannels);
            break;
        default:
            interleave(static_cast<const uint32_t*>(*data), static_cast<uint32_t*>(tmpdata), voxels,
                       volume.nbrChannels);
            break;
        }
        RELEASE_VOXELS(*data);
        *data = tmpdata;
    }
    if (volume.nbrChannels == 2 && !addThirdChannel(data, *type, volume))
        return false;
    if (volume.nbrChannels == 3 && !addAlphaChannel(data, *type, volume))
        return false;
    return true;
}
