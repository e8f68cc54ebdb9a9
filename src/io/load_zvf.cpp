// The zvf data reader of the load pipeline.
#include "volume_file.h"

#include "error_handling.h"
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

} // namespace

// Why a header was refused: the format library's error text.
std::string headerFault()
{
    const int code = zvfLastError;
    const char* text = (code >= 0 && code < zvfErrCount) ? zvfErrorText[code] : "";
    return text && *text ? text : "not a zvf file";
}

bool readZvfVolume(const std::string& fileName, VolumeFile* out, std::string* why, const ShapeCheck& check)
{
    zvfHeader header;
    std::memset(&header, 0, sizeof header);
    FILE* f = zvfReadHeader(fileName.c_str(), &header);
    if (!f) {
        logBoth(__FILE__, __LINE__, "zvfReadHeader failed\n");
        *why = fileName + ": " + headerFault();
        logBoth(__FILE__, __LINE__, (headerFault() + "\n").c_str());
        zvfFreeHeader(&header);
        zvfFreeHdrTF(&header);
        return false;
    }
    std::fclose(f);
    zvfFreeHeader(&header);
    zvfFreeHdrTF(&header);
    if (check) {
        VolumeShape shape;
        for (int a = 0; a < 3; ++a)
            shape.resolution[a] = header.vdim[a];
        shape.bands = header.nbands > 0 ? header.nbands : 1;
        shape.bytesPerValue = zvfVoxelSize(header.dtype) > 0 ? zvfVoxelSize(header.dtype) : 1;
        const std::string refusal = check(shape);
        if (!refusal.empty()) {
            *why = refusal;
            return false;
        }
    }

    int nx = 0, ny = 0, nz = 0, nbands = 0, dtype = 0, ncomments = 0;
    char** comments = nullptr;
    if (!zvfReadCubGrid(fileName.c_str(), &out->data, &nx, &ny, &nz, &nbands, &dtype, &comments,
                        &ncomments) ||
        !out->data) {
        out->data = nullptr;
        *why = fileName + ": the voxels cannot be read (the file is damaged or cut short)";
        return false;
    }
    g_garbageCollector.add(out->data, __FILE__, __LINE__, "tmpdata");
    out->resolution[0] = nx;
    out->resolution[1] = ny;
    out->resolution[2] = nz;
    out->bands = nbands;
    out->bandMajor = true;
    int bytes = 1;
    out->type = typeFromZvf(dtype, &bytes);
    out->spacing[0] = header.px;
    out->spacing[1] = header.py;
    out->spacing[2] = header.pz;

    std::string& info = out->info;
    info = "Data file name:\t" + baseName(fileName) + "\n";
    info += "Resolution:\t" + std::to_string(header.vdim[0]) + " " + std::to_string(header.vdim[1]) +
            " " + std::to_string(header.vdim[2]) + "\n";
    out->ratioAt = info.size();
    info += std::string("Data type:\t") + dataTypeLabel(dtype) + "\n";
    info += std::string("Grid type:\t\t") + gridTypeLabel(header.vtype) + "\n";
    info += std::string("Units:\t\t") + unitLabel(header.units) + "\n";
    info += std::string("Endian type:\t") + endianLabel(header.endian) + "\n";
    info += "Number of bands:\t" + std::to_string(nbands) + "\n";
    info += "Comment:\n";
    for (int i = 0; i < ncomments; ++i) {
        info += comments[i] ? comments[i] : "";
        info += "\n";
    }
    zvfFreeComments(comments, ncomments);
    if (nbands < 1) {
        logBoth(__FILE__, __LINE__, "Not supported number of channels in dataset\n");
        *why = fileName + ": " + std::to_string(nbands) + " bands is not a volume";
        return false;
    }
    return true;
}
