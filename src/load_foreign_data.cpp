// Imported volumes into the load pipeline: the data and the mask reader.
#include "load.h"
#include "load_convert.h"
#include "load_foreign.h"

#include "error_handling.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <cstdio>
#include <cstring>

namespace {

std::string formatFloat(float v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(v));
    return text;
}

// Voxel-major bytes (the bands of a voxel adjacent) to band-major, as the
// multi-volume loader takes them; false when the new buffer cannot be had.
bool bandsApart(void** data, size_t voxels, int bands)
{
    void* planar = nullptr;
    GUARDED_VOXELS_AS(planar, "tmpdata", voxels * static_cast<size_t>(bands));
    if (!planar) {
        g_garbageCollector.remove(planar);
        return false;
    }
    const unsigned char* src = static_cast<const unsigned char*>(*data);
    unsigned char* dst = static_cast<unsigned char*>(planar);
    for (int b = 0; b < bands; ++b)
        for (size_t v = 0; v < voxels; ++v)
            dst[static_cast<size_t>(b) * voxels + v] = src[v * static_cast<size_t>(bands) + b];
    RELEASE_VOXELS(*data);
    *data = planar;
    return true;
}

} // namespace

bool takeForeignData(ForeignVolume* imported, void** data, GLenum* type, Volume& volume,
                     std::string& info)
{
    *data = imported->data;
    *type = imported->type;
    imported->data = nullptr;
    for (int a = 0; a < 3; ++a)
        volume.resolution[a] = imported->resolution[a];
    volume.nbrChannels = imported->bands;
    volume.setBoxProportions(imported->spacing[0], imported->spacing[1], imported->spacing[2]);
    info = imported->info;
    info += "Ratio:\t\t" + formatFloat(volume.extent[0]) + " " + formatFloat(volume.extent[1]) + " " +
            formatFloat(volume.extent[2]) + "\n";
    if (!*data)
        return false;

    if (volume.nbrChannels > 4) {
        logBoth(__FILE__, __LINE__, "Multi volume detected.\n");
        if (*type != GL_UNSIGNED_BYTE) {
            logBoth(__FILE__, __LINE__, "Not supported data type for multi volume.\n");
            return false;
        }
        const size_t voxels = static_cast<size_t>(volume.resolution[0]) * volume.resolution[1] *
                              static_cast<size_t>(volume.resolution[2]);
        if (!bandsApart(data, voxels, volume.nbrChannels) || !g_loadSeams.loadMultiVolume)
            return false;
        return g_loadSeams.loadMultiVolume(data, *type, volume);
    }
    if (volume.nbrChannels == 2 && !addThirdChannel(data, *type, volume))
        return false;
    if (volume.nbrChannels == 3 && !addAlphaChannel(data, *type, volume))
        return false;
    return true;
}

bool readMaskForeign(const std::string& fileName, void** data, GLenum* type, Volume& volume)
{
    ForeignVolume mask;
    std::string error;
    if (!importForeignVolume(fileName, &mask, &error)) {
        logBoth(__FILE__, __LINE__, (error + "\n").c_str());
        showMessageBox(error.c_str(), "Warning");
        return false;
    }
    if (mask.resolution[0] != volume.resolution[0] || mask.resolution[1] != volume.resolution[1] ||
        mask.resolution[2] != volume.resolution[2]) {
        releaseForeignVolume(&mask);
        showMessageBox("Incompatible mask resolution.", "Warning");
        return false;
    }
    if (mask.bands > 1) {
        // One mask value per voxel: the first band.
        const size_t size = static_cast<size_t>(bytesOfGLType(mask.type));
        const size_t voxels = static_cast<size_t>(mask.resolution[0]) * mask.resolution[1] *
                              static_cast<size_t>(mask.resolution[2]);
        unsigned char* v = static_cast<unsigned char*>(mask.data);
        for (size_t i = 1; i < voxels; ++i)
            std::memmove(v + i * size, v + i * size * static_cast<size_t>(mask.bands), size);
    }
    *data = mask.data;
    *type = mask.type;
    mask.data = nullptr;
    return true;
}
