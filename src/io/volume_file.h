// The one record between reading a file and drawing it, and the readers
// that fill it.
//
// Every reader of volumes and masks (zvf, description files with their raw
// voxels, NIfTI, NRRD, MetaImage, DICOM, TIFF, OME-Zarr pyramids, of which
// the coarsest level) reads a file completely into
// a VolumeFile or refuses it with the reason; it changes nothing else, so a
// refused file leaves whatever is on screen as it was.
#ifndef GLIMRA_VOLUME_FILE_H
#define GLIMRA_VOLUME_FILE_H

#include "voxel_types.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A volume as a file gave it.
struct VolumeFile
{
    VolumeFile() = default;
    ~VolumeFile() { release(); }
    VolumeFile(const VolumeFile&) = delete;
    VolumeFile& operator=(const VolumeFile&) = delete;
    VolumeFile(VolumeFile&& other) noexcept { *this = static_cast<VolumeFile&&>(other); }
    VolumeFile& operator=(VolumeFile&& other) noexcept;
    // Frees the voxels (registered, see voxel_buffer.h) and clears the record.
    void release();

    void* data = nullptr;                  // voxels, x fastest, then y, z; owned ("tmpdata")
    VoxelType type = VOXEL_UCHAR;          // one of the seven voxel types
    int resolution[3] = {0, 0, 0};         // voxels along x, y, z
    float spacing[3] = {1.0f, 1.0f, 1.0f}; // voxel size along x, y, z (the file's unit)
    int bands = 1;                         // values per voxel
    // The bands lie one after the other (all of band 0, then band 1 ...), as
    // zvf stores them; otherwise the values of a voxel are adjacent.
    bool bandMajor = false;
    // Multi-byte values are stored most significant byte first, as the raw
    // data of description files are kept until conversion.
    bool bigEndianValues = false;
    // Volumes the file holds one after the other (time points); this is one.
    size_t timePoints = 1;
    // The file said how the volume lies (NIfTI qform or sform, NRRD space,
    // MetaImage, DICOM). The readers lay the voxels out so that x points
    // to the patient's left, y anterior and z superior as near as the
    // file's axes allow; direction (row-major) holds in column a where
    // axis a then points among left, anterior and superior exactly (the
    // identity for a file whose axes lie along the patient's).
    bool oriented = false;
    float direction[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::string info;                      // data-information text
    // Where the "Ratio:" line of the box proportions goes into info once the
    // box is known; npos: at the end.
    size_t ratioAt = std::string::npos;
};

// The kinds of file the program opens.
enum class FileFormat
{
    Zvf,         // ".zvf" in any case
    Description, // a description file naming raw voxels (anything not recognised otherwise)
    Foreign,     // NIfTI, NRRD, MetaImage, DICOM (a file or a folder), TIFF
    Zarr         // an OME-Zarr pyramid or Zarr array: its folder or its .zattrs
};

// Decides the kind of a path: by name for zvf, a Zarr folder (or its
// metadata file) by name or content, by name or content for the foreign
// formats (every other folder counts as a DICOM series), else a
// description file. The one decision used by loads, masks, dropped files and
// zvftool.
FileFormat detectFormat(const std::string& path);

// What a header declares, before the voxels are read.
struct VolumeShape
{
    int resolution[3] = {0, 0, 0}; // voxels per axis
    int bands = 1;                 // values per voxel
    int bytesPerValue = 1;         // as stored
};
// Asked by the zvf and description readers once the header is known and
// before the voxels are allocated: a reason refuses the file ("" reads on).
// Foreign formats are read first and asked after.
using ShapeCheck = std::function<std::string(const VolumeShape&)>;

// Reads the data set at path completely into *out (which is released first).
// False with *why naming the file and the fault; *out then holds nothing.
bool readVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check = {});

// Reads time point timePoint (0 the first) of the data set at path, as
// readVolume reads the first; only the foreign formats have more than one.
// False with *why for a time point the file does not hold.
bool readTimePoint(const std::string& path, size_t timePoint, VolumeFile* out, std::string* why);

// The data-information line of a file of count time points with the one
// numbered shown (0 the first) on screen: "Time points:\t20, the 2nd shown".
std::string timePointsLine(size_t count, size_t shown);

// The volumes of a folder that make one series of time points: files whose
// names differ only in a running number before a common ending (vol_000.zvf,
// vol_001.zvf, ...; zvf, NIfTI, NRRD or MetaImage files), at least two,
// in the numbers' order. Empty for every other folder (DICOM series
// included); readVolume and readTimePoint read such a folder as time points.
std::vector<std::string> numberedVolumes(const std::string& dir);

// Reads a mask for data of the given resolution: the first band of a volume
// of exactly that resolution ("Incompatible mask resolution." otherwise,
// checked before the voxels are read where the format allows). False with
// *why as for readVolume.
bool readMask(const std::string& path, const int resolution[3], VolumeFile* out, std::string* why);

// The text of the incompatible-resolution refusal.
extern const char* const kIncompatibleMask;

// The format readers behind readVolume and readMask (load_zvf.cpp,
// load_description.cpp, load_mask.cpp).
bool readZvfVolume(const std::string& path, VolumeFile* out, std::string* why, const ShapeCheck& check = {});
bool readDescriptionVolume(const std::string& path, VolumeFile* out, std::string* why,
                           const ShapeCheck& check = {});
bool readZvfMask(const std::string& path, const int resolution[3], VolumeFile* out, std::string* why);
bool readDescriptionMask(const std::string& path, const int resolution[3], VolumeFile* out,
                         std::string* why);

// The last part of a path (after the last slash or backslash).
std::string baseName(const std::string& path);

// Forks the reader of the next foreign file ahead (when none waits), so
// that its open skips the fork: for idle moments, after a load.
void prepareForeignReader();

#endif
