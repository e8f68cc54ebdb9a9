// Volumes in the formats other programs write: NIfTI (.nii, .nii.gz,
// .hdr/.img), NRRD (.nrrd, .nhdr), MetaImage (.mha, .mhd), DICOM series (a
// folder or any one file of it) and TIFF stacks. ITK's image IO reads them;
// this module bounds what a file may declare, takes one time point (the
// first unless asked for another), turns element types the program lacks
// into FLOAT and brings the axes into the program's anatomical layout (x to
// the patient's left, y anterior, z superior) where the file says how it
// lies.
#ifndef GLIMRA_LOAD_FOREIGN_H
#define GLIMRA_LOAD_FOREIGN_H

#include "volume_file.h"

#include <string>

// True for a folder of DICOM files and for files whose name or first bytes
// say they are one of the formats above. zvf and description files are not.
bool isForeignVolume(const std::string& path);

// Reads time point timePoint (0 the first) of path into *out, with the number
// of time points the file holds. On false *out holds nothing and *error
// names the file and what is wrong with it (a time point beyond the last
// too). Conversions and other DICOM series in the folder are written to the
// log.
bool importForeignVolume(const std::string& path, VolumeFile* out, std::string* error, size_t timePoint = 0);

// NIfTI files of one uncompressed file in this machine's byte order, without
// scaling, are read straight from the file, the rest through ITK; false
// reads them through ITK too (for comparisons). True unless changed.
void setPlainNiftiReads(bool on);

#endif
