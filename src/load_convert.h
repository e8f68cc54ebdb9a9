// Conversion and scaling of a freshly read voxel buffer, and the channel
// expansion that gives two- and three-channel data four channels.
#ifndef GLIMRA_LOAD_CONVERT_H
#define GLIMRA_LOAD_CONVERT_H

#include "includegl.h"

#include <cstddef>
#include <string>

class Volume;

// Reverses the bytes of each of n values of size bytes (2, 4 or 8) in place.
void swapValueBytes(void* data, size_t n, int size);

// Byte order (description data only), signed to unsigned, stretching to the
// full range of the result type; appends what it did to info and sets *type
// and *maxValue (256 for 8-bit results, 4096 otherwise). The buffer holds
// resolution x*y*z * nbrChannels values of *type.
void convertAndScale(void* data, GLenum* type, const Volume& volume, std::string& info,
                     bool isDescription, int* maxValue);

// Two channels to three: each voxel gets a zero third value; nbrChannels
// becomes 3 and *data a new buffer ("tmpdata"). False (buffer and channels
// unchanged) when the new buffer cannot be had.
bool addThirdChannel(void** data, GLenum type, Volume& volume);
// Three channels to four, the fourth by volume.alphaCalculation; does nothing
// (true) unless nbrChannels is 3. valuesSwapped: the values are stored in
// reversed byte order (raw description data before conversion), so they are
// read and the new value written that way.
bool addAlphaChannel(void** data, GLenum type, Volume& volume, bool valuesSwapped = false);

// Largest value of the element type (1.0 for float, 255 for unknown types).
double typeMaximum(GLenum type);

#endif
