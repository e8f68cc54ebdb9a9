// The mask readers: a second volume of the data's resolution, read with the
// data's zvf and description-file readers, checked against the loaded data and
// reduced to one byte per voxel for the mask texture.
#include "load.h"

#include "error_handling.h"
#include "load_convert.h"
#include "load_description.h"
#include "volume.h"
#include "voxel_buffer.h"
#include "voxel_types.h"

#include <zvf.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

// No data set of this program has more bands (the first one and ten textures
// of four), so a larger claim comes from a damaged file.
const int kMaxMaskBands = 41;

MessageBoxHandler& messageBoxHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

void logMask(const char* file, int line, const std::string& text)
{
    logBoth(file, line, (text + "\n").c_str());
}

bool matchesData(const int x, const int y, const int z, const Volume& volume)
{
    return x == volume.resolution[0] && y == volume.resolution[1] && z == volume.resolution[2];
}

// The mask must lie voxel for voxel over the data.
bool refuseResolution()
{
    showMessageBox("Incompatible mask resolution.", "Warning");
    return false;
}

// One mask byte: the most significant byte of integers (conversion has
// already stretched them to their type's full range), floats times 255.
template <typename T> uint8_t maskByte(T v)
{
    if constexpr (std::is_floating_point_v<T>) {
        const double b = std::trunc(static_cast<double>(v) * 255.0);
        return b > 0.0 ? (b < 255.0 ? static_cast<uint8_t>(b) : uint8_t(255)) : uint8_t(0); // NaN: 0
    } else {
        using U = std::make_unsigned_t<T>;
        return static_cast<uint8_t>(static_cast<U>(v) >> (8 * (sizeof(T) - 1)));
    }
}

std::string descriptionError(DescriptionError error, const std::string& key)
{
    switch (error) {
    case DescriptionError::MissingKey: return "key \"" + key + "\" is missing";
    case DescriptionError::WordTooLong: return "word after \"" + key + "\" is too long";
    case DescriptionError::BadValue: return "value of \"" + key + "\" is unreadable";
    case DescriptionError::BadByteOrder: return "\"" + key + "\" must be little or big";
    default: return "\"" + key + "\" is unreadable";
    }
}

} // namespace

void setMessageBoxHandler(MessageBoxHandler handler)
{
    messageBoxHandler() = std::move(handler);
}

void showMessageBox(const char* text, const char* title)
{
    if (messageBoxHandler())
        messageBoxHandler()(text, title);
    else
        logMask(__FILE__, __LINE__, std::string(title) + ": " + text);
}

bool readMaskZvf(const std::string& fileName, void** data, GLenum* type, Volume& volume)
{
    *data = nullptr;
    zvfHeader header;
    std::memset(&header, 0, sizeof header);
    FILE* f = zvfReadHeader(fileName.c_str(), &header);
    if (!f) {
        // As for data: a damaged file fails this load, the program goes on.
        const int code = zvfLastError;
        logBoth(__FILE__, __LINE__, "zvfReadHeader failed\n");
        logMask(__FILE__, __LINE__, (code >= 0 && code < zvfErrCount && zvfErrorText[code]) ? zvfErrorText[code] : "");
        zvfFreeHeader(&header);
        zvfFreeHdrTF(&header);
        return false;
    }
    std::fclose(f);
    const int dims[3] = {header.vdim[0], header.vdim[1], header.vdim[2]};
    const int bands = header.nbands;
    const int dtype = header.dtype;
    zvfFreeHeader(&header);
    zvfFreeHdrTF(&header);

    if (!matchesData(dims[0], dims[1], dims[2], volume))
        return refuseResolution();
    int bytes = 0;
    const GLenum glType = typeFromZvf(dtype, &bytes);
    if (bytes == 0) {
        logMask(__FILE__, __LINE__, std::string("Mask: voxel type ") + zvfDataTypeName(dtype) + " is not supported");
        return false;
    }
    if (bands < 1 || bands > kMaxMaskBands) {
        logMask(__FILE__, __LINE__, "Mask: " + std::to_string(bands) + " bands is not a mask");
        return false;
    }

    // Only the first band is used; the rest of the buffer is never read.
    int nx = 0, ny = 0, nz = 0, nbands = 0, readType = 0, ncomments = 0;
    char** comments = nullptr;
    if (!zvfReadCubGrid(fileName.c_str(), data, &nx, &ny, &nz, &nbands, &readType, &comments,
                        &ncomments) ||
        !*data) {
        *data = nullptr;
        logMask(__FILE__, __LINE__, "Mask: cannot read the voxels of " + fileName);
        return false;
    }
    zvfFreeComments(comments, ncomments);
    g_garbageCollector.add(*data, __FILE__, __LINE__, "(*data)");
    // The file is opened twice: it must not have changed in between.
    if (!matchesData(nx, ny, nz, volume)) {
        RELEASE_VOXELS(*data);
        return refuseResolution();
    }
    if (readType != dtype || nbands != bands) {
        RELEASE_VOXELS(*data);
        logMask(__FILE__, __LINE__, "Mask: " + fileName + " changed while it was read");
        return false;
    }
    *type = glType;
    return true;
}

bool readMaskDescription(const std::string& fileName, void** data, GLenum* type, Volume& volume)
{
    *data = nullptr;
    std::string text;
    if (!readDescriptionText(fileName, &text)) {
        logMask(__FILE__, __LINE__, "Mask: cannot open " + fileName);
        return false;
    }

    Description d;
    std::string key;
    const DescriptionError error = parseDescription(text, &d, &key);
    // A mask has one value per voxel whatever the file says about channels.
    const bool channelsOnly = error == DescriptionError::BadChannels && d.read[0] && d.read[1] && d.read[3];
    if (error != DescriptionError::None && !channelsOnly) {
        logMask(__FILE__, __LINE__, "Mask description file: " + descriptionError(error, key));
        return false;
    }
    if (!matchesData(d.resolution[0], d.resolution[1], d.resolution[2], volume))
        return refuseResolution();

    int bytes = 1;
    *type = typeFromName(d.format.c_str(), &bytes);
    size_t values = 0, total = 0;
    if (!voxelCount(d.resolution, 1, bytes, &values, &total)) {
        logMask(__FILE__, __LINE__, "Mask: the volume is too large");
        return false;
    }
    // Opened first: a declaration the file cannot back is refused before
    // its memory is asked for.
    const std::string rawPath = rawFilePath(fileName, d.objectFileName);
    FILE* raw = std::fopen(rawPath.c_str(), "rb");
    if (!raw) {
        logMask(__FILE__, __LINE__, "Mask: cannot open " + rawPath);
        return false;
    }
    const uint64_t actual = fileBytes(raw);
    if (!rawFileBacks(total, actual)) {
        std::fclose(raw);
        logMask(__FILE__, __LINE__, "Mask: " + std::to_string(total) + " bytes declared, raw file \"" +
                                        d.objectFileName + "\" has " + std::to_string(actual));
        return false;
    }
    GUARDED_VOXELS_AS(*data, "(*data)", total);
    if (!*data) {
        std::fclose(raw);
        g_garbageCollector.remove(*data);
        return false;
    }
    const size_t got = std::fread(*data, 1, total, raw);
    std::fclose(raw);
    // As for data, a short raw file leaves zeros; the log says so.
    if (got < total)
        logMask(__FILE__, __LINE__, "Mask: " + rawPath + " holds " + std::to_string(got) + " of " +
                                        std::to_string(total) + " bytes; the rest reads as 0");
    // Byte order as for data: conversion takes the values most significant byte first.
    if (bytes > 1 && readRawAsLittleEndian(d.byteOrder, *data, *type, d.resolution, 1))
        swapValueBytes(*data, values, bytes);
    return true;
}

bool reduceMaskTo8Bit(void** data, GLenum* type, Volume& volume)
{
    if (!*data)
        return false;
    if (!isVoxelGLType(*type)) {
        logMask(__FILE__, __LINE__, "Mask: voxel type " + std::to_string(*type) + " cannot be reduced to bytes");
        return false;
    }
    size_t n = 0;
    if (!voxelCount(volume.resolution, volume.nbrChannels, 1, &n, nullptr))
        return false;
    void* aTmp = nullptr;
    GUARDED_VOXELS_AS(aTmp, "aTmp", n);
    if (!aTmp) {
        g_garbageCollector.remove(aTmp);
        return false;
    }
    uint8_t* out = static_cast<uint8_t*>(aTmp);
    dispatchVoxelType(*type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        const T* in = static_cast<const T*>(*data);
        for (size_t i = 0; i < n; ++i)
            out[i] = maskByte(in[i]);
    });
    RELEASE_VOXELS(*data);
    *data = aTmp;
    *type = GL_UNSIGNED_BYTE;
    return true;
}
