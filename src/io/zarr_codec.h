// The chunks of Zarr arrays: decompressing one (blosc, zlib, gzip, zstd or
// none) into a buffer of exactly the expected size, compressing one, and the
// stored values turned into the program's values.
#ifndef GLIMRA_ZARR_CODEC_H
#define GLIMRA_ZARR_CODEC_H

#include "zarr_metadata.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whether the blosc library reads chunks of this inner codec ("lz4" ...).
bool zarrBloscCodecAvailable(const std::string& name);

// The most bytes a chunk file of this codec may hold for a chunk of
// decompressed bytes (anything larger is damaged).
uint64_t maxEncodedBytes(const ZarrCompressor& compressor, uint64_t decompressed);

// Decompresses a chunk file's bytes into out, which must come out exactly
// outBytes long. False with *fault ("the chunk holds 100 bytes, 128
// expected", "the chunk does not decompress (zstd: ...)").
bool decodeChunk(const ZarrCompressor& compressor, const void* src, size_t srcBytes, void* out, size_t outBytes,
                 std::string* fault);

// Compresses srcBytes of values of itemBytes each into *out (resized to the
// compressed bytes). False with *fault.
bool encodeChunk(const ZarrCompressor& compressor, int itemBytes, const void* src, size_t srcBytes,
                 std::vector<unsigned char>* out, std::string* fault);

// Turns count values as the array stores them into values of array.type in
// place: the machine's byte order, 64-bit values narrowed to float (the
// buffer then holds 4-byte values at its start).
void storedToProgramValues(const ZarrArray& array, void* values, size_t count);

// count values of the program's type, each the fill value.
void fillValues(VoxelType type, double value, void* out, size_t count);

#endif
