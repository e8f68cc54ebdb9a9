// Description files: a small text file of "Key: value" lines that names a raw
// voxel file and says how to read it.
#ifndef GLIMRA_LOAD_DESCRIPTION_H
#define GLIMRA_LOAD_DESCRIPTION_H

#include "byte_order.h"
#include "voxel_types.h"

#include <cstdint>
#include <cstdio>
#include <string>

// What a description file says. Keys are read by name; lines starting with
// "#" and keys this program does not use are skipped.
struct Description
{
    std::string objectFileName;              // raw file, relative to the description's directory
    int resolution[3] = {0, 0, 0};           // voxels along x, y, z
    float sliceThickness[3] = {1.0f, 1.0f, 1.0f}; // voxel spacing; 1 1 1 when the key is left out
    std::string format;                      // element type name ("UCHAR" ...)
    int nbrChannels = 1;                     // 1 when the key is left out
    // "ByteOrder:" or "Endianness:" (key and value in any case): "little"
    // or "big"; Unstated when neither key is there.
    RawByteOrder byteOrder = RawByteOrder::Unstated;
    // Which of ObjectFileName, Resolution, SliceThickness, Format and
    // NbrChannels were read from the file.
    bool read[5] = {false, false, false, false, false};
};

enum class DescriptionError {
    None,
    MissingKey,    // ObjectFileName, Resolution or Format left out
    BadValue,      // a key whose value cannot be read or is out of range
    WordTooLong,   // a word longer than kMaxDescriptionWord characters
    BadChannels,   // NbrChannels unreadable or outside 1 ... 4
    BadByteOrder   // ByteOrder or Endianness neither "little" nor "big"
};

// Longest word (file name, format) a description file may hold.
const int kMaxDescriptionWord = 259;

// Reads the text of a description file. On failure *key names the key at
// fault (e.g. "Resolution:"). Values already read stay in *out.
DescriptionError parseDescription(const std::string& text, Description* out, std::string* key);
// The text of a description file, at most its first MiB; false when it cannot be opened.
bool readDescriptionText(const std::string& fileName, std::string* text);

// Bytes of an open regular file; 0 for anything else (a pipe, a device).
uint64_t fileBytes(FILE* f);
// Whether a raw file of `actual` bytes may back a declaration of `declared`
// bytes: it may lack as many bytes as it holds, or kRawSlackBytes where that
// is more (the missing voxels read as zero).
bool rawFileBacks(uint64_t declared, uint64_t actual);
const uint64_t kRawSlackBytes = uint64_t(1) << 20;

// Path of the raw file: the description's directory, "/", and the word; the
// word alone when the description path has no directory.
std::string rawFilePath(const std::string& descriptionPath, const std::string& objectFileName);

#endif
