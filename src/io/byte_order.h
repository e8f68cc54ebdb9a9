// Byte order of the raw voxel files that description files name: what the
// file says ("ByteOrder:" or "Endianness:"), or for 16- and 32-bit values
// the order in which the data read smoothly; big-endian otherwise.
#ifndef GLIMRA_BYTE_ORDER_H
#define GLIMRA_BYTE_ORDER_H

#include "voxel_types.h"

enum class RawByteOrder {
    Unstated, // the description file does not say
    Big,      // most significant byte first
    Little    // least significant byte first
};

// Whether this machine stores values most significant byte first.
bool hostBigEndian();

// Little-endian is taken only when the data read that way are at least this
// many times smoother than read big-endian.
const double kLittleEndianMargin = 3.0;

// How rough raw values read in one byte order are: the mean absolute
// difference of neighbours along x (same channel, within a row). Byte
// positions that are zero in every value are left out of the values (they
// would only scale them: 8-bit values in 16-bit words read alike either
// way). Floats are compared by their bit patterns taken in the order of
// their values. 0 for rows of one voxel. raw
// holds resolution x*y*z * channels interleaved values of type; long data
// are sampled by rows.
double rawRoughness(const void* raw, VoxelType type, const int resolution[3], int channels,
                    bool littleEndian);

// True for 16- and 32-bit types whose values read little-endian are more
// than kLittleEndianMargin times smoother than read big-endian.
bool looksLittleEndian(const void* raw, VoxelType type, const int resolution[3], int channels);

// The order to read raw description data in: the stated one, else
// looksLittleEndian. A guess of little-endian is logged on both channels as
// "Raw data read as little-endian (smoother than big-endian)."
bool readRawAsLittleEndian(RawByteOrder stated, const void* raw, VoxelType type, const int resolution[3],
                           int channels);

#endif
