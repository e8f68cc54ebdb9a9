// Conversion and scaling of a freshly read voxel buffer, and the channel
// expansion that gives two- and three-channel data four channels.
#ifndef GLIMRA_LOAD_CONVERT_H
#define GLIMRA_LOAD_CONVERT_H

#include "volume_file.h"
#include "voxel_types.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Reverses the bytes of each of n values of size bytes (2, 4 or 8) in place.
void swapValueBytes(void* data, size_t n, int size);

// Byte order (values stored most significant byte first, as raw
// description data are), signed to unsigned, stretching to the full range of
// the result type; appends what it did to info and sets *type and *maxValue
// (256 for 8-bit results, 4096 otherwise). The buffer holds resolution x*y*z
// * channels values of *type.
void convertAndScale(void* data, VoxelType* type, const int resolution[3], int channels, std::string& info,
                     bool bigEndianValues, int* maxValue);

// Two channels to three: each voxel gets a zero third value; *channels
// becomes 3 and *data a new buffer ("tmpdata"). False (buffer and channels
// unchanged) when the new buffer cannot be had.
bool addThirdChannel(void** data, VoxelType type, const int resolution[3], int* channels);
// Three channels to four, the fourth by alphaCalculation (0 one where any
// channel is set, 1 average, 2 maximum); does nothing (true) unless
// *channels is 3. valuesSwapped: the values are stored in reversed byte
// order (raw description data before conversion), so they are read and the
// new value written that way.
bool addAlphaChannel(void** data, VoxelType type, const int resolution[3], int* channels, int alphaCalculation,
                     bool valuesSwapped = false);

// The one shaping of channels every load takes: band-major voxels
// interleaved, two channels brought to three and three to four (see above);
// more than four bands are left band-major for the multi-band textures (a
// false answer with *why when they are not unsigned bytes). file->bands
// follows.
bool shapeChannels(VolumeFile* file, int alphaCalculation, std::string* why);

// One byte per voxel of a mask: the most significant byte of integers
// (conversion has already stretched them to their type's full range), floats
// 0 ... 1 to 0 ... 255. *data becomes a new buffer ("aTmp").
bool reduceMaskTo8Bit(void** data, VoxelType* type, const int resolution[3]);

// Largest value of the element type (1.0 for float, 255 for unknown types).
double typeMaximum(VoxelType type);
// A 12-bit value v of data whose least value is least, stretched to 16 bits
// as a load stretches such data: trunc(65535 q), q = (v - least) / 4095 as
// a 32-bit float, within 0 ... 65535.
uint16_t stretched12Bit(double v, double least);

#endif
