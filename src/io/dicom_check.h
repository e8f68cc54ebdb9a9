// A walk over the data elements of a DICOM file that runs before the DICOM
// library sees it. GDCM allocates the length an element declares before it
// reads the value, so a damaged 1 KiB file could make it ask for 4 GiB; the
// walk refuses any element longer than what is left of the file.
#ifndef GLIMRA_DICOM_CHECK_H
#define GLIMRA_DICOM_CHECK_H

#include <string>

// What the walk learnt about a file.
struct DicomCheck
{
    bool preamble = false;   // "DICM" after the 128-byte preamble
    bool pixelData = false;  // a (7FE0,0010) element at the top level
};

// Walks path. needPreamble: files without "DICM" at byte 128 are refused
// (the import always asks for it: GDCM reads files without a meta group down
// old paths full of assertions). A meta group must name an image storage
// class and a transfer syntax GDCM decodes. False with *why saying what is
// wrong; the file's name is the caller's to add.
bool checkDicomFile(const std::string& path, bool needPreamble, DicomCheck* out, std::string* why);

#endif
