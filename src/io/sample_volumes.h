// Procedural sample volumes: the bundled data sets of `zvftool sample` and a
// source of volumes for tests of every module. No GL, no toolkit.
#ifndef GLIMRA_SAMPLE_VOLUMES_H
#define GLIMRA_SAMPLE_VOLUMES_H

#include "voxel_types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One volume in memory, laid out as a zvf grid: bands planar (band after
// band), x fastest, then y, then z; values in the machine's byte order.
struct SampleVolume
{
    std::string name;                  // the sample name it was made from
    int nx = 0, ny = 0, nz = 0;        // voxels per axis
    int nbands = 1;                    // bands (channels) per voxel
    int dtype = 1;                     // zvf voxel-type code (zvfUChar ...)
    float px = 1.0f, py = 1.0f, pz = 1.0f; // voxel spacing in millimetres
    std::vector<unsigned char> data;   // nx*ny*nz*nbands*voxel-size bytes
    std::vector<std::string> comments; // header comments

    size_t voxelCount() const { return size_t(nx) * size_t(ny) * size_t(nz); }
    // Value of voxel (x, y, z) of band b, converted to double.
    double value(int x, int y, int z, int b = 0) const;
};

// Every sample name, in the order of the usage text:
// "phantom"      16-bit unsigned CT-like head phantom, 160 x 160 x 128 voxels,
//                spacing 0.9 x 0.9 x 1.5 mm (zvfRegular), values HU + 1024;
// "phantom-mask" 8-bit mask of the phantom's tumour (255 inside, 0 outside);
// "multiband"    6-band 8-bit set, 96 x 96 x 64;
// "types-uchar", "types-char", "types-uint12", "types-uint16", "types-int16",
// "types-inthu", "types-uint32", "types-int32", "types-float", "types-double":
//                32 x 24 x 16 volumes of each zvf voxel type, one band.
const std::vector<std::string>& sampleVolumeNames();

// Builds the named sample; false for an unknown name.
bool makeSampleVolume(const std::string& name, SampleVolume* out);

// The phantom's structures, for tests that look inside it: the HU value of
// each tissue and the tumour's centre (voxel coordinates) and radius (mm).
namespace phantom {
constexpr int kAirHU = -1000;
constexpr int kFatHU = -100;
constexpr int kSoftTissueHU = 40;
constexpr int kBoneHU = 1200;
constexpr int kBrainHU = 30;
constexpr int kVentricleHU = 5;
constexpr int kTumourHU = 90;
constexpr int kCalcificationHU = 600;
constexpr int kHUOffset = 1024; // stored value = HU + kHUOffset
// Voxel indices of the tumour centre and its radius in millimetres.
constexpr int kTumourX = 100, kTumourY = 66, kTumourZ = 72;
constexpr float kTumourRadiusMM = 12.0f;
} // namespace phantom

// Writes the volume as a zvf file (zvfCubic when the spacings are equal,
// zvfRegular otherwise; units mm; the machine's byte order). False on failure
// (the format library has written its message).
bool writeSampleVolume(const SampleVolume& volume, const std::string& path);

// A sample evaluated at any resolution, slab by slab (the pyramids of
// `zvftool sample NAME OUT.zarr --size N`): the bundled shapes spread over
// the grid, so that the sizes of the bundled samples give their voxels.
struct SampleGrid
{
    std::string name;              // "phantom", "phantom-mask" or "multiband"
    int size[3] = {0, 0, 0};       // voxels along x, y, z
    VoxelType type = VOXEL_USHORT; // phantom: any of the seven types; the others UCHAR
    int bands = 1;                 // multiband: 6
    float spacing[3] = {1.0f, 1.0f, 1.0f}; // millimetres: the phantom spans 144 x 144 x 192
};

// Sets *out up for a sample of the given size; false with *why for a name
// without one, or a type the sample cannot take. The phantom's values are
// HU + 1024 for USHORT and UINT, HU for SHORT, INT and FLOAT, (HU + 1024) / 16
// for UCHAR and that minus 128 for CHAR.
bool sampleGrid(const std::string& name, const int size[3], VoxelType type, SampleGrid* out, std::string* why);

// The values of slices z0 ... z0 + count - 1 of a sample grid into out: each
// band's slices together (x fastest), band b at out + b * bandStride.
void sampleSlices(const SampleGrid& grid, int z0, int count, unsigned char* out, size_t bandStride);

#endif
