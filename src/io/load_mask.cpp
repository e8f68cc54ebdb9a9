// The mask readers: a second volume of the data's resolution, read with the
// data's zvf and description-file readers, checked against the loaded data and
// reduced to one byte per voxel for the mask texture.
#include "volume_file.h"

#include "byte_order.h"
#include "error_handling.h"
#include "load_convert.h"
#include "load_description.h"
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

// Logs the fault and gives it as the reason: "FILE: text".
bool refuse(const std::string& fileName, const std::string& text, std::string* why)
{
    logBoth(__FILE__, __LINE__, ("Mask: " + fileName + ": " + text + "\n").c_str());
    *why = fileName + ": " + text;
    return false;
}

bool matches(const int x, const int y, const int z, const int resolution[3])
{
    return x == resolution[0] && y == resolution[1] && z == resolution[2];
}

// The mask must lie voxel for voxel over the data.
bool refuseResolution(std::string* why)
{
    *why = kIncompatibleMask;
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

bool readZvfMask(const std::string& fileName, const int resolution[3], VolumeFile* out, std::string* why)
{
    zvfHeader header;
    std::memset(&header, 0, sizeof header);
    FILE* f = zvfReadHeader(fileName.c_str(), &header);
    if (!f) {
        // As for data: a damaged file fails this load, the program goes on.
        const int code = zvfLastError;
        logBoth(__FILE__, __LINE__, "zvfReadHeader failed\n");
        const char* text = (code >= 0 && code < zvfErrCount && zvfErrorText[code]) ? zvfErrorText[code] : "";
        zvfFreeHeader(&header);
        zvfFreeHdrTF(&header);
        return refuse(fileName, *text ? text : "not a zvf file", why);
    }
    std::fclose(f);
    const int dims[3] = {header.vdim[0], header.vdim[1], header.vdim[2]};
    const int bands = header.nbands;
    const int dtype = header.dtype;
    zvfFreeHeader(&header);
    zvfFreeHdrTF(&header);

    if (!matches(dims[0], dims[1], dims[2], resolution))
        return refuseResolution(why);
    int bytes = 0;
    const VoxelType type = typeFromZvf(dtype, &bytes);
    if (bytes == 0)
        return refuse(fileName, std::string("voxel type ") + zvfDataTypeName(dtype) + " is not supported", why);
    if (bands < 1 || bands > kMaxMaskBands)
        return refuse(fileName, std::to_string(bands) + " bands is not a mask", why);

    // Only the first band is used; the rest of the buffer is never read.
    int nx = 0, ny = 0, nz = 0, nbands = 0, readType = 0, ncomments = 0;
    char** comments = nullptr;
    if (!zvfReadCubGrid(fileName.c_str(), &out->data, &nx, &ny, &nz, &nbands, &readType, &comments,
                        &ncomments) ||
        !out->data) {
        out->data = nullptr;
        return refuse(fileName, "the voxels cannot be read", why);
    }
    zvfFreeComments(comments, ncomments);
    g_garbageCollector.add(out->data, __FILE__, __LINE__, "(*data)");
    // The file is opened twice: it must not have changed in between.
    if (!matches(nx, ny, nz, resolution))
        return refuseResolution(why);
    if (readType != dtype || nbands != bands)
        return refuse(fileName, "the file changed while it was read", why);
    out->type = type;
    for (int a = 0; a < 3; ++a)
        out->resolution[a] = dims[a];
    // Band-major: the first band is at the front already.
    out->bands = 1;
    return true;
}

bool readDescriptionMask(const std::string& fileName, const int resolution[3], VolumeFile* out,
                         std::string* why)
{
    std::string text;
    if (!readDescriptionText(fileName, &text))
        return refuse(fileName, "cannot be opened", why);

    Description d;
    std::string key;
    const DescriptionError error = parseDescription(text, &d, &key);
    // A mask has one value per voxel whatever the file says about channels.
    const bool channelsOnly = error == DescriptionError::BadChannels && d.read[0] && d.read[1] && d.read[3];
    if (error != DescriptionError::None && !channelsOnly)
        return refuse(fileName, descriptionError(error, key), why);
    if (!matches(d.resolution[0], d.resolution[1], d.resolution[2], resolution))
        return refuseResolution(why);

    int bytes = 1;
    const VoxelType type = typeFromName(d.format.c_str(), &bytes);
    size_t values = 0, total = 0;
    if (!voxelCount(d.resolution, 1, bytes, &values, &total))
        return refuse(fileName, "the volume is too large", why);
    // Opened first: a declaration the file cannot back is refused before
    // its memory is asked for.
    const std::string rawPath = rawFilePath(fileName, d.objectFileName);
    FILE* raw = std::fopen(rawPath.c_str(), "rb");
    if (!raw)
        return refuse(fileName, "the raw file \"" + d.objectFileName + "\" cannot be opened", why);
    const uint64_t actual = fileBytes(raw);
    if (!rawFileBacks(total, actual)) {
        std::fclose(raw);
        return refuse(fileName, std::to_string(total) + " bytes declared, raw file \"" + d.objectFileName + "\" has " +
                                    std::to_string(actual), why);
    }
    GUARDED_VOXELS_AS(out->data, "(*data)", total);
    if (!out->data) {
        std::fclose(raw);
        g_garbageCollector.remove(out->data);
        return refuse(fileName, "not enough memory for " + std::to_string(total) + " bytes", why);
    }
    const size_t got = std::fread(out->data, 1, total, raw);
    std::fclose(raw);
    // As for data, a short raw file leaves zeros; the log says so.
    if (got < total)
        logBoth(__FILE__, __LINE__, ("Mask: " + rawPath + " holds " + std::to_string(got) + " of " +
                                     std::to_string(total) + " bytes; the rest reads as 0\n").c_str());
    // Byte order as for data: conversion takes the values most significant byte first.
    if (bytes > 1 && readRawAsLittleEndian(d.byteOrder, out->data, type, d.resolution, 1))
        swapValueBytes(out->data, values, bytes);
    out->type = type;
    out->bigEndianValues = true;
    for (int a = 0; a < 3; ++a) {
        out->resolution[a] = d.resolution[a];
        out->spacing[a] = d.sliceThickness[a];
    }
    return true;
}

bool reduceMaskTo8Bit(void** data, VoxelType* type, const int resolution[3])
{
    if (!*data)
        return false;
    if (!isVoxelType(*type)) {
        logBoth(__FILE__, __LINE__, ("Mask: voxel type " + std::to_string(*type) + " cannot be reduced to bytes\n").c_str());
        return false;
    }
    size_t n = 0;
    if (!voxelCount(resolution, 1, 1, &n, nullptr))
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
    *type = VOXEL_UCHAR;
    return true;
}
