// What the readers of the import share (load_foreign.cpp for single files,
// load_foreign_dicom.cpp for DICOM series, load_foreign_tiff.cpp for TIFF
// stacks, load_foreign_common.cpp).
#ifndef GLIMRA_LOAD_FOREIGN_PARTS_H
#define GLIMRA_LOAD_FOREIGN_PARTS_H

#include "file_facts.h"
#include "volume_file.h"

#include <itkImageIOBase.h>

#include <cstdint>
#include <string>

namespace foreignimport {

using ItkType = itk::IOComponentEnum;

// Longest axis a file may declare; the texture path could not use more.
const size_t kMaxAxis = 1u << 20;
// Most values per voxel (bands) a file may declare.
const int kMaxBands = 1024;
// Codecs whose output cannot be counted cheaply (LZW, JPEG, bzip2): a claim
// beyond 4096 times the stored bytes is taken as damage.
const uint64_t kCodecExpansion = 4096;

// What a reader found out, before the voxels are laid out.
struct RawRead
{
    void* buffer = nullptr;             // all voxels as read ("tmpdata")
    ItkType itkType = ItkType::UNKNOWNCOMPONENTTYPE; // element type in the buffer
    size_t elementBytes = 0;            // bytes per element in the buffer
    int bands = 1;                      // elements per voxel
    size_t dims[3] = {1, 1, 1};         // stored axes
    size_t timePoints = 1;              // volumes in the file
    size_t bufferFrom = 0;              // the first of them in the buffer (all from there, or the one asked for)
    double spacing[3] = {1, 1, 1};      // along the stored axes
    double direction[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; // [world LPS][stored axis]
    bool oriented = false;              // the file says how the volume lies
    std::string info;                   // format lines gathered on the way
};

// Names, files and numbers.
std::string lowerCase(std::string s);
bool endsWith(const std::string& s, const char* suffix);
using ::directoryOf;
using ::fileSize;
using ::folderBytes;
using ::isDirectory;
using ::joinPath;
std::string formatSize(uint64_t v);
std::string formatFloat(double v);
// The first line of a library's message, without ITK's source location.
std::string shortMessage(const char* text);
// Blanks, tabs and NULs off both ends.
std::string trim(const std::string& s);

// Frees what a reader read.
void freeRaw(RawRead* r);
// Dimensions, bands and element type of an IO that has read its header;
// false with *error when they are out of bounds.
bool takeLayout(const std::string& path, itk::ImageIOBase* io, RawRead* r, uint64_t* totalBytes,
                std::string* error);
// "X x Y x Z ... (N bytes)" for a message.
std::string declaredText(const RawRead& r, uint64_t totalBytes);
// The full region of an IO's image: ITK reads what the region says.
void requestAll(itk::ImageIOBase* io);
// The byte order an IO found, or null where it has none.
const char* byteOrderText(itk::ImageIOBase* io);

// A TIFF stack, page by page (no orientation).
bool readTiffStack(const std::string& path, RawRead* r, std::string* error);
// A DICOM series: the folder's largest, or the one of the file path names.
bool readDicomSeries(const std::string& path, bool isFolder, RawRead* r, std::string* error);

} // namespace foreignimport

#endif
