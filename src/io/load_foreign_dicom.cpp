// DICOM series for the import: the folder is scanned here, every file
// walked (dicom_check) before GDCM reads it, slices ordered by position.
#include "load_foreign_parts.h"
#include "reader_process.h"

#include "dicom_check.h"
#include "error_handling.h"
#include "voxel_buffer.h"

#include <itkGDCMImageIO.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace foreignimport {

namespace {

// Most files one DICOM series may have, and a folder scanned for one.
const size_t kMaxSlices = 65536;
const size_t kMaxFolderFiles = 100000;
// Longest DICOM text field shown (LO and SH values are at most 64 characters).
const size_t kMaxDicomText = 64;

// A text field of the file, printable and bounded; "" when absent.
std::string dicomText(itk::GDCMImageIO* io, const char* tag)
{
    std::string v;
    if (!io->GetValueFromTag(tag, v))
        return std::string();
    v = trim(v);
    for (char& c : v)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    if (v.size() > kMaxDicomText)
        v.resize(kMaxDicomText);
    return v;
}

// One DICOM image file, as its header says.
struct DicomFile
{
    std::string path;      // the file
    std::string series;    // Series Instance UID
    std::string label;     // series number, description and modality (nothing of the patient)
    RawRead layout;        // size, type and axes
    uint64_t bytes = 0;    // its voxels
    double origin[3] = {0, 0, 0}; // Image Position (Patient)
};

// One file of a series and where its slice lies.
struct Slice
{
    std::string path;   // the file
    double position;    // Image Position along the slice normal
};

bool canonicalPath(const std::string& path, std::string* out)
{
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    *out = real;
    std::free(real);
    return true;
}

// Regular files of dir in name order; false when it cannot be read or holds
// more than kMaxFolderFiles.
bool listFolder(const std::string& dir, std::vector<std::string>* files, std::string* error)
{
    DIR* d = opendir(dir.c_str());
    if (!d) {
        *error = dir + ": the folder cannot be read";
        return false;
    }
    while (const dirent* e = readdir(d)) {
        const std::string path = joinPath(dir, e->d_name);
        uint64_t size = 0;
        if (!fileSize(path, &size))
            continue;
        if (files->size() == kMaxFolderFiles) {
            closedir(d);
            *error = dir + ": more than " + formatSize(kMaxFolderFiles) + " files";
            return false;
        }
        files->push_back(path);
    }
    closedir(d);
    std::sort(files->begin(), files->end());
    return true;
}

// The header of a checked DICOM file; false with *error naming it.
bool readDicomHeader(const std::string& path, DicomFile* out, std::string* error)
{
    itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
    out->path = path;
    try {
        io->SetFileName(path);
        io->ReadImageInformation();
        if (!takeLayout(path, io, &out->layout, &out->bytes, error))
            return false;
        for (unsigned a = 0; a < 3; ++a)
            out->origin[a] = io->GetOrigin(a);
    } catch (const itk::ExceptionObject& e) {
        *error = path + ": the DICOM header cannot be read (" + shortMessage(e.GetDescription()) + ")";
        return false;
    } catch (const std::exception& e) {
        *error = path + ": " + shortMessage(e.what());
        return false;
    }
    out->series = dicomText(io, "0020|000e");
    const std::string number = dicomText(io, "0020|0011");
    out->label = "series " + (number.empty() ? std::string("?") : number) + " \"" +
                 dicomText(io, "0008|103e") + "\" " + dicomText(io, "0008|0060");
    return true;
}

// The DICOM images of the folder of path (or of the folder path): only files
// the element walk passes reach the DICOM library; other files are passed
// over, damaged DICOM files and a chosen file without pixel data refused.
bool scanFolder(const std::string& path, bool isFolder, std::vector<DicomFile>* images,
                std::string* chosenSeries, std::string* error)
{
    const std::string dir = isFolder ? path : directoryOf(path);
    std::string chosen;
    if (!isFolder && !canonicalPath(path, &chosen)) {
        *error = path + ": cannot be opened";
        return false;
    }
    std::vector<std::string> names;
    if (!listFolder(dir, &names, error))
        return false;
    for (const std::string& f : names) {
        std::string real;
        const bool isChosen = !isFolder && canonicalPath(f, &real) && real == chosen;
        DicomCheck check;
        std::string why;
        if (!checkDicomFile(f, true, &check, &why)) {
            if (isChosen || check.preamble) {
                *error = f + ": " + why;
                return false;
            }
            continue;
        }
        if (!check.pixelData) {
            if (isChosen) {
                *error = f + ": a DICOM file without pixel data";
                return false;
            }
            continue; // a directory record, a report
        }
        DicomFile d;
        if (!readDicomHeader(f, &d, error))
            return false;
        if (isChosen)
            *chosenSeries = d.series;
        images->push_back(d);
    }
    if (images->empty()) {
        *error = path + (isFolder ? ": no DICOM images in this folder" : ": not a DICOM image");
        return false;
    }
    return true;
}

// The files of one series: the chosen file's, or for a folder the largest
// (the first met of equal ones); the other series go to the log.
std::vector<DicomFile> pickSeries(const std::vector<DicomFile>& images, bool isFolder,
                                  const std::string& chosenSeries, const std::string& dir)
{
    std::vector<std::string> series;
    std::vector<size_t> counts;
    for (const DicomFile& d : images) {
        const size_t at = std::find(series.begin(), series.end(), d.series) - series.begin();
        if (at == series.size()) {
            series.push_back(d.series);
            counts.push_back(0);
        }
        ++counts[at];
    }
    size_t pick = 0;
    for (size_t i = 0; i < series.size(); ++i)
        if (isFolder ? counts[i] > counts[pick] : series[i] == chosenSeries)
            pick = i;
    for (size_t i = 0; i < series.size(); ++i)
        if (i != pick) {
            const DicomFile& any = *std::find_if(images.begin(), images.end(),
                                                 [&](const DicomFile& d) { return d.series == series[i]; });
            logNote(__FILE__, __LINE__, ("Other DICOM series in " + dir + ": " + any.label + ", " +
                                         std::to_string(counts[i]) + " files\n").c_str());
        }
    std::vector<DicomFile> picked;
    for (const DicomFile& d : images)
        if (d.series == series[pick])
            picked.push_back(d);
    return picked;
}

bool sameKind(const RawRead& a, const RawRead& b)
{
    return a.dims[0] == b.dims[0] && a.dims[1] == b.dims[1] && a.itkType == b.itkType && a.bands == b.bands;
}

// The slices must agree: the size most files share is the series' (the first
// files decide; a series that many files disagree on is refused anyway) and
// the first file that differs is named. *ref: a file of that size.
bool checkSlices(const std::vector<DicomFile>& files, const std::string& dir, size_t* ref, std::string* error)
{
    if (files.size() > kMaxSlices) {
        *error = dir + ": " + std::to_string(files.size()) + " files in one series (at most " +
                 std::to_string(kMaxSlices) + ")";
        return false;
    }
    for (const DicomFile& f : files) {
        if (files.size() > 1 && (f.layout.dims[2] != 1 || f.layout.timePoints != 1)) {
            *error = f.path + ": a file of several frames in a series of several files";
            return false;
        }
        uint64_t size = 0;
        fileSize(f.path, &size);
        if (f.bytes > size * kCodecExpansion) {
            *error = f.path + ": the header declares " + declaredText(f.layout, f.bytes) + ", the file holds " +
                     formatSize(size) + " bytes";
            return false;
        }
    }
    size_t refCount = 0;
    *ref = 0;
    for (size_t i = 0; i < files.size() && i < 16 && refCount <= files.size() / 2; ++i) {
        size_t count = 0;
        for (const DicomFile& f : files)
            count += sameKind(f.layout, files[i].layout);
        if (count > refCount) {
            *ref = i;
            refCount = count;
        }
    }
    const RawRead& r = files[*ref].layout;
    for (const DicomFile& f : files) {
        const RawRead& l = f.layout;
        if (l.dims[0] != r.dims[0] || l.dims[1] != r.dims[1]) {
            *error = f.path + ": a slice of " + formatSize(l.dims[0]) + " x " + formatSize(l.dims[1]) +
                     " in a series of " + formatSize(r.dims[0]) + " x " + formatSize(r.dims[1]) + " slices";
            return false;
        }
        if (!sameKind(l, r)) {
            *error = f.path + ": a slice of another voxel type than the rest of its series";
            return false;
        }
    }
    return true;
}

// The slices of files in the order of their position along the normal of
// the image plane, one after the other into r->buffer; the slice spacing is
// the distance of the outer slices over their count.
bool readSlices(const std::vector<DicomFile>& files, size_t ref, const std::string& path, RawRead* r,
                std::string* error)
{
    *r = files[ref].layout;
    const uint64_t sliceBytes = files[ref].bytes;
    const double a[3] = {r->direction[0][0], r->direction[1][0], r->direction[2][0]};
    const double b[3] = {r->direction[0][1], r->direction[1][1], r->direction[2][1]};
    const double normal[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::vector<Slice> slices;
    for (const DicomFile& f : files) {
        const double p = f.origin[0] * normal[0] + f.origin[1] * normal[1] + f.origin[2] * normal[2];
        slices.push_back(Slice{f.path, std::isfinite(p) ? p : 0.0});
    }
    std::stable_sort(slices.begin(), slices.end(),
                     [](const Slice& x, const Slice& y) { return x.position < y.position; });
    if (slices.size() > 1) {
        r->dims[2] = slices.size();
        const double span = slices.back().position - slices.front().position;
        if (span > 0.0)
            r->spacing[2] = span / static_cast<double>(slices.size() - 1);
        for (int w = 0; w < 3; ++w)
            r->direction[w][2] = normal[w];
    }
    size_t total = 0;
    if (!multiplySize(static_cast<size_t>(sliceBytes), slices.size(), &total) ||
        total > (static_cast<size_t>(1) << 40)) {
        *error = path + ": the series declares more than 1 TiB of voxels";
        return false;
    }
    readerExpectsBytes(total);
    GUARDED_VOXELS_AS(r->buffer, "tmpdata", total);
    if (!r->buffer) {
        g_garbageCollector.remove(r->buffer);
        *error = path + ": not enough memory for " + formatSize(total) + " bytes";
        return false;
    }
    for (size_t i = 0; i < slices.size(); ++i) {
        itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
        try {
            io->SetFileName(slices[i].path);
            io->ReadImageInformation();
            requestAll(io);
            io->Read(static_cast<unsigned char*>(r->buffer) + i * sliceBytes);
        } catch (const itk::ExceptionObject& e) {
            freeRaw(r);
            *error = slices[i].path + ": the pixel data cannot be read (" + shortMessage(e.GetDescription()) + ")";
            return false;
        }
    }
    return true;
}

// The information lines of a series, from one of its files: nothing of the patient.
bool describeSeries(const std::string& file, size_t slices, RawRead* r, std::string* error)
{
    itk::GDCMImageIO::Pointer io = itk::GDCMImageIO::New();
    try {
        io->SetFileName(file);
        io->ReadImageInformation();
    } catch (const itk::ExceptionObject& e) {
        *error = file + ": the DICOM header cannot be read (" + shortMessage(e.GetDescription()) + ")";
        return false;
    }
    std::string& info = r->info;
    info = "Format:\t\tDICOM\n";
    const std::string modality = dicomText(io, "0008|0060");
    const std::string description = dicomText(io, "0008|103e");
    if (!modality.empty())
        info += "Modality:\t" + modality + "\n";
    if (!description.empty())
        info += "Series description:\t" + description + "\n";
    info += "Slices:\t\t" + std::to_string(slices) + "\n";
    const std::string slope = dicomText(io, "0028|1053");
    const std::string intercept = dicomText(io, "0028|1052");
    if (!slope.empty() || !intercept.empty())
        info += "Rescale:\tslope " + (slope.empty() ? std::string("1") : slope) + " intercept " +
                (intercept.empty() ? std::string("0") : intercept) + "\n";
    if (r->elementBytes > 1)
        if (const char* order = byteOrderText(io))
            info += std::string("Byte order:\t") + order + "\n";
    std::string orientation;
    r->oriented = io->GetValueFromTag("0020|0037", orientation);
    return true;
}

} // namespace

bool readDicomSeries(const std::string& path, bool isFolder, RawRead* r, std::string* error)
{
    std::vector<DicomFile> images;
    std::string chosenSeries;
    if (!scanFolder(path, isFolder, &images, &chosenSeries, error))
        return false;
    const std::string dir = isFolder ? path : directoryOf(path);
    const std::vector<DicomFile> files = pickSeries(images, isFolder, chosenSeries, dir);
    images.clear();
    size_t ref = 0;
    if (!checkSlices(files, dir, &ref, error) || !readSlices(files, ref, path, r, error))
        return false;
    if (!describeSeries(files[ref].path, files.size(), r, error)) {
        freeRaw(r);
        return false;
    }
    return true;
}

} // namespace foreignimport
