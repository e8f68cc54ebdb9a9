// Writing Zarr version 2 arrays and the NGFF 0.4 metadata of pyramids: the
// texts of .zarray and .zattrs, folders and chunk files.
#ifndef GLIMRA_ZARR_WRITE_H
#define GLIMRA_ZARR_WRITE_H

#include "zarr_metadata.h"

#include <cstddef>
#include <string>
#include <vector>

// The dtype of a program type in the machine's byte order ("<u2" ...).
std::string zarrDtype(VoxelType type);

// An array of the program's type with the given shape and chunks (the
// last axis x), fill value 0, dimension separator "/", of compressor.
ZarrArray zarrArrayOf(VoxelType type, int axes, const int64_t shape[], const int64_t chunks[],
                      const ZarrCompressor& compressor);

// The text of an array's .zarray file.
std::string zarrArrayText(const ZarrArray& array);

// The text of a pyramid's .zattrs: one multiscale of NGFF 0.4 with its
// axes (names, kinds, units), every level's path, scale and translation,
// and "mean" as the way the levels were made.
std::string zarrAttributesText(const ZarrPyramid& pyramid);

// Makes a folder and any missing folders above it. False with *why.
bool makeZarrFolders(const std::string& path, std::string* why);

// Writes bytes to path (replacing it). False with *why naming the path.
bool writeZarrFile(const std::string& path, const void* bytes, size_t size, std::string* why);

// Compresses values (a whole chunk of the level's program type, which the
// writer stores as is) and writes them as the chunk at index, making the
// folders a "/" separator needs. scratch keeps the compressed bytes.
bool writeZarrChunk(const ZarrPyramid& pyramid, int level, const int64_t index[], const void* values,
                    std::vector<unsigned char>* scratch, std::string* why);

#endif
