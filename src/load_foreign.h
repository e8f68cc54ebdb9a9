// Volumes in the formats other programs write: NIfTI (.nii, .nii.gz,
// .hdr/.img), NRRD (.nrrd, .nhdr), MetaImage (.mha, .mhd), DICOM series (a
// folder or any one file of it) and TIFF stacks. ITK's image IO reads them;
// this module bounds what a file may declare, takes the first time point,
// turns element types the program lacks into FLOAT and brings the axes into
// the program's anatomical layout (x to the patient's left, y anterior, z
// superior) where the file says how it lies.
#ifndef GLIMRA_LOAD_FOREIGN_H
#define GLIMRA_LOAD_FOREIGN_H

#include "includegl.h"

#include <string>

class Volume;

// One imported volume; the caller owns data (release with releaseForeignVolume).
struct ForeignVolume
{
    void* data = nullptr;            // voxels, x fastest, then y, z; the bands of a voxel adjacent ("tmpdata")
    GLenum type = GL_UNSIGNED_BYTE;  // one of the seven voxel types
    int resolution[3] = {0, 0, 0};   // voxels along x, y, z
    float spacing[3] = {1.0f, 1.0f, 1.0f}; // voxel size along x, y, z (the file's unit, mm for medical data)
    int bands = 1;                   // values per voxel
    std::string info;                // data-information lines: format and the fields that matter
};

// True for a folder of DICOM files and for files whose name or first bytes
// say they are one of the formats above. zvf and description files are not.
bool isForeignVolume(const std::string& path);

// Reads path into *out. On false *out holds nothing and *error names the file
// and what is wrong with it. Conversions and other DICOM series in the folder
// are written to the log.
bool importForeignVolume(const std::string& path, ForeignVolume* out, std::string* error);

// Frees the voxels (if any) and clears the record.
void releaseForeignVolume(ForeignVolume* v);

// The load pipeline's reader for these formats (after a successful import):
// fills volume.resolution, nbrChannels and the box proportions, replaces info
// and hands the voxels over as the zvf reader does (interleaved, two and three
// bands brought to four, more than four to the multi-volume loader).
bool takeForeignData(ForeignVolume* imported, void** data, GLenum* type, Volume& volume,
                     std::string& info);

// The mask reader for these formats: the first band of a volume of the data's
// resolution ("Incompatible mask resolution." otherwise).
bool readMaskForeign(const std::string& fileName, void** data, GLenum* type, Volume& volume);

#endif
