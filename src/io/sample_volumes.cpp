#include "sample_volumes.h"

#include "parallel.h"
#include "zvf.h"

#include <cmath>
#include <cstring>

namespace {

// Deterministic noise in [-1, 1] from the voxel index.
float hashNoise(uint32_t i)
{
    i ^= i >> 16;
    i *= 0x7feb352du;
    i ^= i >> 15;
    i *= 0x846ca68bu;
    i ^= i >> 16;
    return static_cast<float>(i & 0xffffu) / 32767.5f - 1.0f;
}

template <typename T> void put(std::vector<unsigned char>& data, size_t index, T value)
{
    std::memcpy(data.data() + index * sizeof(T), &value, sizeof(T));
}

template <typename T> T get(const std::vector<unsigned char>& data, size_t index)
{
    T v;
    std::memcpy(&v, data.data() + index * sizeof(T), sizeof(T));
    return v;
}

float sq(float v) { return v * v; }

// Tissue HU of the phantom at a point in millimetres from the grid centre.
int phantomHU(float X, float Y, float Z)
{
    using namespace phantom;
    const float r = std::sqrt(sq(X / 66.0f) + sq(Y / 70.0f) + sq(Z / 90.0f));
    if (r > 1.0f)
        return kAirHU;
    if (r > 0.95f)
        return kSoftTissueHU;
    if (r > 0.90f)
        return kFatHU;
    if (r > 0.82f)
        return kBoneHU;
    static const float calc[3][3] = {{-25, -20, -30}, {-30, 25, 20}, {20, 30, -35}};
    for (const auto& c : calc)
        if (sq(X - c[0]) + sq(Y - c[1]) + sq(Z - c[2]) <= sq(2.5f))
            return kCalcificationHU;
    const float tx = (kTumourX + 0.5f - 80.0f) * 0.9f, ty = (kTumourY + 0.5f - 80.0f) * 0.9f,
                tz = (kTumourZ + 0.5f - 64.0f) * 1.5f;
    if (sq(X - tx) + sq(Y - ty) + sq(Z - tz) <= sq(kTumourRadiusMM))
        return kTumourHU;
    for (float side : {-9.0f, 9.0f})
        if (sq((X - side) / 5.0f) + sq((Y - 12.0f) / 16.0f) + sq((Z - 8.0f) / 10.0f) <= 1.0f)
            return kVentricleHU;
    return kBrainHU;
}

// Noise of the phantom at a voxel of linear index i (folded to 32 bits).
float phantomNoise(uint64_t i)
{
    return hashNoise(static_cast<uint32_t>(i ^ (i >> 32)));
}

// The phantom's stored value (HU + 1024 with noise, 0 ... 4095) or, for
// the mask, 255 inside the tumour and 0 elsewhere, at a point in
// millimetres from the grid centre; i is the voxel's linear index.
int phantomValue(float X, float Y, float Z, uint64_t i, bool mask)
{
    using namespace phantom;
    const float tx = (kTumourX + 0.5f - 80.0f) * 0.9f, ty = (kTumourY + 0.5f - 80.0f) * 0.9f,
                tz = (kTumourZ + 0.5f - 64.0f) * 1.5f;
    const int hu = phantomHU(X, Y, Z);
    if (mask)
        return sq(X - tx) + sq(Y - ty) + sq(Z - tz) <= sq(kTumourRadiusMM) && hu == kTumourHU ? 255 : 0;
    const float noise = hu == kAirHU ? 4.0f : 8.0f;
    const int value = static_cast<int>(std::lround(hu + kHUOffset + noise * phantomNoise(i)));
    return value < 0 ? 0 : value > 4095 ? 4095 : value;
}

// Millimetres the phantom spans along x and y (and z): 160 x 0.9, 128 x 1.5.
const float kPhantomWidthMM = 144.0f;
const float kPhantomHeightMM = 192.0f;

void makePhantom(SampleVolume* v, bool mask)
{
    v->nx = 160;
    v->ny = 160;
    v->nz = 128;
    v->px = v->py = 0.9f;
    v->pz = 1.5f;
    v->nbands = 1;
    v->dtype = mask ? zvfUChar : zvfUInt16;
    v->data.assign(v->voxelCount() * (mask ? 1 : 2), 0);
    size_t i = 0;
    for (int z = 0; z < v->nz; ++z)
        for (int y = 0; y < v->ny; ++y)
            for (int x = 0; x < v->nx; ++x, ++i) {
                const float X = (x + 0.5f - 80.0f) * v->px, Y = (y + 0.5f - 80.0f) * v->py,
                            Z = (z + 0.5f - 64.0f) * v->pz;
                const int value = phantomValue(X, Y, Z, i, mask);
                if (mask)
                    v->data[i] = static_cast<unsigned char>(value);
                else
                    put<uint16_t>(v->data, i, static_cast<uint16_t>(value));
            }
    if (mask) {
        v->comments = {"glimra sample volume: phantom-mask",
                       "255 marks the tumour of the phantom sample, 0 elsewhere"};
    } else {
        v->comments = {"glimra sample volume: phantom",
                       "CT-like head phantom, values are Hounsfield units + 1024",
                       "air -1000, fat -100, skin 40, skull 1200, brain 30, ventricles 5, "
                       "tumour 90, calcifications 600"};
    }
}

// Band b of the multiband sample at a point of its 96 x 96 x 64 grid.
unsigned char multibandValue(float x, float y, float z, int b)
{
    const double kPi = 3.14159265358979323846;
    const float cx = 48.0f + 25.0f * static_cast<float>(std::cos(2 * kPi * b / 6));
    const float cy = 48.0f + 25.0f * static_cast<float>(std::sin(2 * kPi * b / 6));
    const float cz = 32.0f;
    const float sigma = 10.0f + 2.0f * b;
    const float d2 = sq(x - cx) + sq(y - cy) + sq(z - cz);
    return static_cast<unsigned char>(std::lround(255.0f * std::exp(-d2 / (2 * sigma * sigma))));
}

void makeMultiband(SampleVolume* v)
{
    v->nx = 96;
    v->ny = 96;
    v->nz = 64;
    v->nbands = 6;
    v->dtype = zvfUChar;
    v->data.assign(v->voxelCount() * 6, 0);
    size_t i = 0;
    for (int b = 0; b < 6; ++b)
        for (int z = 0; z < v->nz; ++z)
            for (int y = 0; y < v->ny; ++y)
                for (int x = 0; x < v->nx; ++x, ++i)
                    v->data[i] = multibandValue(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z), b);
    v->comments = {"glimra sample volume: multiband",
                   "six bands, each a Gaussian blob around the volume centre"};
}

struct TypeSample
{
    const char* name;
    int dtype;
    double lo, hi; // value range of the ramp
};

const TypeSample kTypeSamples[] = {
    {"types-uchar", zvfUChar, 0, 255},
    {"types-char", zvfChar, -128, 127},
    {"types-uint12", zvfUInt12, 0, 4095},
    {"types-uint16", zvfUInt16, 0, 65535},
    {"types-int16", zvfInt16, -32768, 32767},
    {"types-inthu", zvfIntHU, -1000, 3095},
    {"types-uint32", zvfUInt32, 0, 4294967295.0},
    {"types-int32", zvfInt32, -2147483648.0, 2147483647.0},
    {"types-float", zvfFloat, -1.0, 1.0},
    {"types-double", zvfDouble, -1000.0, 1000.0},
};

void makeTypes(SampleVolume* v, const TypeSample& t)
{
    v->nx = 32;
    v->ny = 24;
    v->nz = 16;
    v->nbands = 1;
    v->dtype = t.dtype;
    const int size = zvfVoxelSize(t.dtype);
    v->data.assign(v->voxelCount() * static_cast<size_t>(size), 0);
    size_t i = 0;
    for (int z = 0; z < v->nz; ++z)
        for (int y = 0; y < v->ny; ++y)
            for (int x = 0; x < v->nx; ++x, ++i) {
                // a ramp over the whole range, from lo at the first voxel to hi at the last
                double f = (x / 31.0 + y / 23.0 + z / 15.0) / 3.0;
                double value = t.lo + f * (t.hi - t.lo);
                switch (t.dtype) {
                case zvfUChar: put<uint8_t>(v->data, i, static_cast<uint8_t>(std::lround(value))); break;
                case zvfChar: put<int8_t>(v->data, i, static_cast<int8_t>(std::lround(value))); break;
                case zvfUInt12:
                case zvfUInt16: put<uint16_t>(v->data, i, static_cast<uint16_t>(std::lround(value))); break;
                case zvfInt16:
                case zvfIntHU: put<int16_t>(v->data, i, static_cast<int16_t>(std::lround(value))); break;
                case zvfUInt32: put<uint32_t>(v->data, i, static_cast<uint32_t>(std::llround(value))); break;
                case zvfInt32: put<int32_t>(v->data, i, static_cast<int32_t>(std::llround(value))); break;
                case zvfFloat: put<float>(v->data, i, static_cast<float>(value)); break;
                default: put<double>(v->data, i, value); break;
                }
            }
    v->comments = {std::string("glimra sample volume: ") + t.name,
                   std::string("a ramp over the range of ") + zvfDataTypeName(t.dtype)};
}

} // namespace

double SampleVolume::value(int x, int y, int z, int b) const
{
    size_t i = ((size_t(b) * size_t(nz) + size_t(z)) * size_t(ny) + size_t(y)) * size_t(nx) + size_t(x);
    switch (dtype) {
    case zvfUChar: return get<uint8_t>(data, i);
    case zvfChar: return get<int8_t>(data, i);
    case zvfUInt12:
    case zvfUInt16: return get<uint16_t>(data, i);
    case zvfInt16:
    case zvfIntHU: return get<int16_t>(data, i);
    case zvfUInt32: return get<uint32_t>(data, i);
    case zvfInt32: return get<int32_t>(data, i);
    case zvfFloat: return get<float>(data, i);
    case zvfDouble: return get<double>(data, i);
    default: return 0.0;
    }
}

const std::vector<std::string>& sampleVolumeNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n = {"phantom", "phantom-mask", "multiband"};
        for (const TypeSample& t : kTypeSamples)
            n.push_back(t.name);
        return n;
    }();
    return names;
}

bool makeSampleVolume(const std::string& name, SampleVolume* out)
{
    SampleVolume v;
    v.name = name;
    if (name == "phantom") {
        makePhantom(&v, false);
    } else if (name == "phantom-mask") {
        makePhantom(&v, true);
    } else if (name == "multiband") {
        makeMultiband(&v);
    } else {
        const TypeSample* found = nullptr;
        for (const TypeSample& t : kTypeSamples)
            if (name == t.name)
                found = &t;
        if (!found)
            return false;
        makeTypes(&v, *found);
    }
    *out = std::move(v);
    return true;
}

bool writeSampleVolume(const SampleVolume& v, const std::string& path)
{
    zvfHeader h = zvfCubicHeader(v.nx, v.ny, v.nz, v.dtype, v.nbands);
    h.px = v.px;
    h.py = v.py;
    h.pz = v.pz;
    if (v.px != v.py || v.px != v.pz)
        h.vtype = zvfRegular;
    bool ok = true;
    for (const std::string& c : v.comments)
        ok = ok && zvfAddHdrComment(&h, c.c_str());
    ok = ok && zvfWriteGrid(path.c_str(), v.data.data(), &h);
    zvfFreeHeader(&h);
    return ok;
}

namespace {

// The phantom's stored value (0 ... 4095, HU + 1024) in the terms of a type.
double phantomInType(int value, VoxelType type)
{
    switch (type) {
    case VOXEL_UCHAR: return value >> 4;
    case VOXEL_CHAR: return (value >> 4) - 128;
    case VOXEL_USHORT:
    case VOXEL_UINT: return value;
    default: return value - phantom::kHUOffset;
    }
}

// One slice z of band b into out (x fastest).
template <typename T> void sampleSlice(const SampleGrid& g, int z, int b, T* out)
{
    const int nx = g.size[0], ny = g.size[1], nz = g.size[2];
    const bool multiband = g.name == "multiband", mask = g.name == "phantom-mask";
    for (int y = 0; y < ny; ++y)
        for (int x = 0; x < nx; ++x) {
            const uint64_t i = (static_cast<uint64_t>(z) * ny + y) * nx + x;
            T* v = out + static_cast<size_t>(y) * nx + x;
            if (multiband) {
                *v = static_cast<T>(multibandValue(x * 96.0f / nx, y * 96.0f / ny, z * 64.0f / nz, b));
                continue;
            }
            const float X = (x + 0.5f - nx / 2.0f) * g.spacing[0], Y = (y + 0.5f - ny / 2.0f) * g.spacing[1],
                        Z = (z + 0.5f - nz / 2.0f) * g.spacing[2];
            const int value = phantomValue(X, Y, Z, i, mask);
            *v = static_cast<T>(mask ? value : phantomInType(value, g.type));
        }
}

} // namespace

bool sampleGrid(const std::string& name, const int size[3], VoxelType type, SampleGrid* out, std::string* why)
{
    if (name != "phantom" && name != "phantom-mask" && name != "multiband") {
        *why = "sample " + name + " has no sizes (phantom, phantom-mask and multiband have)";
        return false;
    }
    if (name != "phantom" && type != VOXEL_UCHAR) {
        *why = "sample " + name + " is made of UCHAR values only";
        return false;
    }
    if (!isVoxelType(type) || size[0] < 1 || size[1] < 1 || size[2] < 1) {
        *why = "a sample needs a voxel type and at least one voxel along each axis";
        return false;
    }
    SampleGrid g;
    g.name = name;
    g.type = type;
    g.bands = name == "multiband" ? 6 : 1;
    for (int a = 0; a < 3; ++a)
        g.size[a] = size[a];
    if (name != "multiband") {
        g.spacing[0] = kPhantomWidthMM / static_cast<float>(size[0]);
        g.spacing[1] = kPhantomWidthMM / static_cast<float>(size[1]);
        g.spacing[2] = kPhantomHeightMM / static_cast<float>(size[2]);
    }
    *out = g;
    return true;
}

void sampleSlices(const SampleGrid& grid, int z0, int count, unsigned char* out, size_t bandStride)
{
    const size_t sliceValues = static_cast<size_t>(grid.size[0]) * static_cast<size_t>(grid.size[1]);
    dispatchVoxelType(grid.type, [&](auto tag) {
        using T = typename decltype(tag)::type;
        forEachSlab(static_cast<long>(count) * grid.bands, [&](int, long begin, long end) {
            for (long k = begin; k < end; ++k) {
                const int b = static_cast<int>(k / count), z = static_cast<int>(k % count);
                T* slice = reinterpret_cast<T*>(out + b * bandStride) + static_cast<size_t>(z) * sliceValues;
                sampleSlice<T>(grid, z0 + z, b, slice);
            }
        });
    });
}
